#include "WizardTesting.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace wizardtesting {

void ensureApplication()
{
    if (qApp)
        return;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "wizard_tests";
    static char* argv[] = { name, nullptr };
    new QApplication(argc, argv); // lives as long as the test program
    // The offscreen platform knows no desktop fonts and takes a larger one;
    // the window is made for the size that a Linux desktop gives by default.
    QApplication::setFont(desktopFont());
}

QFont desktopFont()
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setPointSize(9);
    return font;
}

bool click(QWizard& wizard, QWizard::WizardButton which)
{
    QAbstractButton* button = wizard.button(which);
    if (!button->isVisible() || !button->isEnabled()) {
        ADD_FAILURE() << "button " << which << " is not clickable on page " << wizard.currentId();
        return false;
    }
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

bool waitForPage(QWizard& wizard, int id, int timeoutMs)
{
    return QTest::qWaitFor([&] { return wizard.currentId() == id; }, timeoutMs);
}

namespace {

QCheckBox* boxStartingWith(QWizard& wizard, const char* start)
{
    for (QCheckBox* box : wizard.page(1)->findChildren<QCheckBox*>()) {
        if (box->text().startsWith(QLatin1String(start)))
            return box;
    }
    ADD_FAILURE() << "no check box starting with " << start;
    return nullptr;
}

} // namespace

QCheckBox* userSettingsBox(QWizard& wizard)
{
    return boxStartingWith(wizard, "User Settings");
}

QCheckBox* externalDataHomeBox(QWizard& wizard)
{
    return boxStartingWith(wizard, "External Data Home");
}

void toggle(QCheckBox* box)
{
    QTest::keyClick(box, Qt::Key_Space);
}

ProgramRun runProgram(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment)
{
    ensureApplication();
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForFinished(-1)) {
        run.err = process.errorString().toStdString();
        return run;
    }
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

QProcessEnvironment childEnvironment(const QString& home, const QString& runtimeFolder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
    return environment;
}

} // namespace wizardtesting
