#include "WizardTesting.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace wizardtesting {

void ensureApplication()
{
    if (qApp)
        return;
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "wizard_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives as long as the test program
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

}  // namespace

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

std::vector<std::string> childEnvironment(const std::string& home, const std::string& runtimeFolder)
{
    std::vector<std::string> env;
    for (char** var = environ; *var; ++var) {
        const std::string entry = *var;
        if (entry.rfind("HOME=", 0) != 0 && entry.rfind("QT_QPA_PLATFORM=", 0) != 0
            && entry.rfind("XDG_RUNTIME_DIR=", 0) != 0)
            env.push_back(entry);
    }
    env.push_back("HOME=" + home);
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("XDG_RUNTIME_DIR=" + runtimeFolder);
    return env;
}

}  // namespace wizardtesting
