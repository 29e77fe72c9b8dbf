// The wizard program as the user runs it (QApplication, the wizard, show,
// the event loop's value as exit status), with the stand-in job, the real
// running check and a script of user actions, for tests that must watch the whole process end:
//
//   wizard_driver <job-result> <action>...
//
// Actions: next, back, cancel (buttons clicked with the mouse), close (the
// window's close control), keep-settings, keep-data (uncheck a box),
// done (Done clicked), expect=<page id> (exit 3 unless the wizard shows that
// page), wait=<page id> (runs the event loop until the wizard shows it),
// job-seconds=<s> (the stand-in job then waits that long, as the real one
// does), timeout=<s> (instead of 20 s).
// Prints "page N" whenever the page changes, "job mask M" when the job is
// asked to run and "event loop returned S" when exec() returns.
#include <QApplication>
#include <QCloseEvent>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FakeJob.h"
#include "JobPause.h"
#include "TallowmereRunning.h"
#include "UninstallWizard.h"
#include "WizardTesting.h"

namespace {

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

[[noreturn]] void fail(const std::string& why)
{
    say("driver: " + why);
    std::exit(3);
}

double g_jobSeconds = 0;
int g_timeoutSeconds = 20;

// Options that must hold before the window shows.
bool takeOption(const std::string& action)
{
    if (action.rfind("job-seconds=", 0) == 0) {
        g_jobSeconds = std::atof(action.c_str() + 12);
        return true;
    }
    if (action.rfind("timeout=", 0) == 0) {
        g_timeoutSeconds = std::atoi(action.c_str() + 8);
        return true;
    }
    return false;
}

void perform(UninstallWizard& wizard, const std::string& action)
{
    auto clickButton = [&](QWizard::WizardButton which) {
        QAbstractButton* button = wizard.button(which);
        if (!button->isVisible() || !button->isEnabled())
            fail("cannot click " + action + " on page " + std::to_string(wizard.currentId()));
        QTest::mouseClick(button, Qt::LeftButton);
    };
    if (action == "next") {
        clickButton(QWizard::NextButton);
    } else if (action == "back") {
        clickButton(QWizard::BackButton);
    } else if (action == "cancel") {
        clickButton(QWizard::CancelButton);
    } else if (action == "done") {
        clickButton(QWizard::FinishButton);
    } else if (action == "close") {
        // The route of the window manager's close control.
        QCloseEvent event;
        QCoreApplication::sendEvent(wizard.windowHandle(), &event);
    } else if (action == "keep-settings") {
        wizardtesting::toggle(wizardtesting::userSettingsBox(wizard));
    } else if (action == "keep-data") {
        wizardtesting::toggle(wizardtesting::externalDataHomeBox(wizard));
    } else if (action.rfind("expect=", 0) == 0) {
        if (wizard.currentId() != std::atoi(action.c_str() + 7))
            fail(action + " but on page " + std::to_string(wizard.currentId()));
    } else if (action.rfind("wait=", 0) == 0) {
        if (!wizardtesting::waitForPage(wizard, std::atoi(action.c_str() + 5)))
            fail(action + " but on page " + std::to_string(wizard.currentId()));
    } else {
        fail("unknown action " + action);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        fail("usage: wizard_driver <job-result> <action>...");
    FakeJob job;
    job.result = std::atoi(argv[1]);
    std::vector<std::string> actions;
    for (int i = 2; i < argc; ++i) {
        if (!takeOption(argv[i]))
            actions.emplace_back(argv[i]);
    }
    job.onCall = [](int mask) {
        say("job mask " + std::to_string(mask));
        // The real job's waits: 1.0 s, then 0.5 s at a time.
        for (double left = g_jobSeconds; left > 0; left -= 0.5)
            pauseInsteadOfSleeping(std::min(left, 0.5));
    };

    QApplication application(argc, argv);
    // Offscreen, Qt has no desktop font of its own.
    QApplication::setFont(wizardtesting::desktopFont());
    UninstallWizard wizard(job.job(), checkIfTallowmereIsRunning);
    QObject::connect(&wizard, &QWizard::currentIdChanged, [](int id) { say("page " + std::to_string(id)); });
    wizard.show();

    QTimer::singleShot(0, [&] {
        // A window manager on a busy machine may take its time.
        if (!QTest::qWaitForWindowExposed(&wizard, 20000))
            fail("window not exposed");
        for (const std::string& action : actions)
            perform(wizard, action);
    });
    // A wizard that neither ends nor closes fails the test instead of hanging it.
    QTimer::singleShot(g_timeoutSeconds * 1000, [] { fail("still running after the time allowed"); });

    const int status = application.exec();
    say("event loop returned " + std::to_string(status));
    return status;
}
