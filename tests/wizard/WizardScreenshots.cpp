// Renders every page of the real wizard window into PNG files:
//
//   wizard_screenshots <folder>
//
// The pages are driven with mouse clicks as a user would; a real copy of a
// made-up product runs for the product-running page. The removal job is the
// stand-in of FakeJob.h, so nothing is removed: its results lead to the
// failure page in one run and to the final page in another.
#include <QApplication>
#include <QPixmap>
#include <QTest>

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

void shoot(QWidget& window, const char* name)
{
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
