// Renders every page of the real wizard window into PNG files, and checks on
// each that the window with its frame lies inside the screen's available area
// and that no button or text is cut (exit status 1 when not):
//
//   wizard_screenshots <folder>
//
// The pages are driven with mouse clicks as a user would; a real copy of a
// made-up product runs for the product-running page. The removal job is the
// stand-in of FakeJob.h, so nothing is removed: its results lead to the
// failure page in one run and to the final page in another.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <cstdio>
#include <string>

#include "FakeJob.h"
#include "FakeProduct.h"
#include "TallowmereRunning.h"
#include "UninstallWizard.h"
#include "WizardTesting.h"

namespace {

std::string g_folder;
bool g_ok = true;

void complain(const char* name, const std::string& what)
{
    std::fprintf(stderr, "%s: %s\n", name, what.c_str());
    g_ok = false;
}

std::string text(const QRect& r)
{
    return std::to_string(r.width()) + "x" + std::to_string(r.height()) + "+" + std::to_string(r.x()) + "+"
        + std::to_string(r.y());
}

void checkFits(QWizard& wizard, const char* name)
{
    // Let the window manager frame the window and the window fit itself.
    QTest::qWait(200);
    const QRect area = wizard.windowHandle()->screen()->availableGeometry();
    if (!area.contains(wizard.frameGeometry()))
        complain(name, "window " + text(wizard.frameGeometry()) + " not inside the screen's " + text(area));
    for (QWizard::WizardButton which :
        { QWizard::CancelButton, QWizard::BackButton, QWizard::NextButton, QWizard::FinishButton }) {
        QAbstractButton* button = wizard.button(which);
        if (!button->isVisible())
            continue;
        const QRect at(button->mapTo(&wizard, QPoint(0, 0)), button->size());
        if (!wizard.rect().contains(at) || button->width() < button->minimumSizeHint().width()
            || button->height() < button->minimumSizeHint().height())
            complain(name, "button " + button->text().toStdString() + " cut: " + text(at));
    }
    for (QWidget* widget : wizard.currentPage()->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(widget);
        const bool whole = label && label->wordWrap()
            ? widget->height() >= label->heightForWidth(widget->width())
            : widget->width() >= widget->sizeHint().width() && widget->height() >= widget->sizeHint().height();
        if (!whole)
            complain(name, "text cut: " + text(widget->geometry()));
    }
}

void shoot(QWizard& window, const char* name)
{
    checkFits(window, name);
    const std::string path = g_folder + "/" + name + ".png";
    if (!window.grab().save(QString::fromStdString(path), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        g_ok = false;
    }
}

void next(UninstallWizard& wizard)
{
    if (!wizardtesting::click(wizard, QWizard::NextButton))
        g_ok = false;
}

// One run from the welcome page to the run's last page, shooting the pages
// named; the job returns `jobResult`.
void run(int jobResult, bool shootEarlyPages, const char* lastPageName)
{
    FakeJob job;
    job.result = jobResult;
    UninstallWizard wizard(job.job(), checkIfTallowmereIsRunning);
    wizard.show();
    if (!QTest::qWaitForWindowExposed(&wizard))
        g_ok = false;
    if (shootEarlyPages)
        shoot(wizard, "0-welcome");
    next(wizard);
    if (shootEarlyPages)
        shoot(wizard, "1-choices");
    next(wizard);
    if (shootEarlyPages) {
        shoot(wizard, "2-confirm");
        testsupport::FakeProduct product;
        product.start();
        next(wizard);
        shoot(wizard, "3-product-running");
        product.quitAll();
    }
    job.onCall = [&](int) {
        if (shootEarlyPages)
            shoot(wizard, "4-progress");
    };
    next(wizard);
    if (!wizardtesting::waitForPage(wizard, jobResult == 1 ? 5 : 6))
        g_ok = false;
    shoot(wizard, lastPageName);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    g_folder = argv[1];
    QApplication application(argc, argv);
    run(2, true, "6-final");
    run(1, false, "5-failed");
    return g_ok ? 0 : 1;
}
