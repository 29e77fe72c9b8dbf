// What becomes of keys and clicks given to the frozen window, on a real X
// display (bench/frozen-input.sh runs it under Xvfb):
//
//   frozen_input_bench
//
// The wizard goes to the progress page; the stand-in job blocks the GUI thread
// for 3 s and meanwhile has xdotool press Return and click where Done stands.
// The program logs, in ms after the run has returned, when each X key or button
// event was read in, which of them reached a widget, when the last page showed,
// whether it was still shown 1 s later, and that a Return given then closes it.
#include <xcb/xcb.h>

#include <QAbstractButton>
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "UninstallWizard.h"
#include "WizardTesting.h"

namespace {

QElapsedTimer sinceRunEnd; // started when the stand-in run returns
UninstallWizard* shownWizard = nullptr;

void log(const char* what)
{
    if (sinceRunEnd.isValid())
        std::printf("%+6lld ms  %s\n", static_cast<long long>(sinceRunEnd.elapsed()), what);
    else
        std::printf("    during  %s\n", what);
    std::fflush(stdout);
}

void xdotool(const std::string& arguments)
{
    if (std::system(("xdotool " + arguments).c_str()) != 0)
        log("xdotool failed");
}

class NativeInputLog : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& type, void* message, long*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
            // Qt takes the pointer through the X input extension (2 = key, 4/5 = button).
            const int inputType = reinterpret_cast<const xcb_ge_generic_event_t*>(event)->event_type;
            if (inputType == 4)
                log("X button press read in (input extension)");
            if (inputType == 5)
                log("X button release read in (input extension)");
            return false;
        }
        switch (event->response_type & 0x7f) {
        case XCB_KEY_PRESS:
            log("X key press read in");
            break;
        case XCB_KEY_RELEASE:
            log("X key release read in");
            break;
        case XCB_BUTTON_PRESS:
            log("X button press read in");
            break;
        case XCB_BUTTON_RELEASE:
            log("X button release read in");
            break;
        }
        return false;
    }
};

class DeliveredInputLog : public QObject {
protected:
    bool eventFilter(QObject* to, QEvent* event) override
    {
        if (to->isWidgetType() && (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress))
            log(event->type() == QEvent::KeyPress ? "key press delivered to a widget" : "click delivered to a widget");
        return false;
    }
};

} // namespace

// A stand-in run that gives the frozen window a Return and a click on Done.
int standInRun(int)
{
    QAbstractButton* done = shownWizard->button(QWizard::FinishButton);
    const QPoint at = done->mapToGlobal(done->rect().center());
    log(("run started; Return and a click on Done at " + std::to_string(at.x()) + "," + std::to_string(at.y())
        + " follow")
            .c_str());
    xdotool("key Return");
    xdotool("mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) + " click 1");
    std::this_thread::sleep_for(std::chrono::seconds(3));
    sinceRunEnd.start();
    log("run returned");
    return 2;
}

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    NativeInputLog nativeLog;
    application.installNativeEventFilter(&nativeLog);
    DeliveredInputLog deliveredLog;
    application.installEventFilter(&deliveredLog);

    UninstallWizard wizard(standInRun, [] { return false; });
    shownWizard = &wizard;
    QObject::connect(&wizard, &QWizard::currentIdChanged, [&](int id) {
        if (id < 5)
            return;
        log(id == 6 ? "final page shown" : "failure page shown");
        QTimer::singleShot(1000, [&] {
            log(wizard.isVisible() ? "last page still shown; pressing Return now" : "window already closed");
            xdotool("key Return");
        });
    });
    QObject::connect(&application, &QGuiApplication::lastWindowClosed, [] { log("window closed"); });
    wizard.show();
    QTimer::singleShot(0, [&] {
        if (!QTest::qWaitForWindowExposed(&wizard))
            log("window not exposed");
        wizard.activateWindow();
        for (int i = 0; i < 3; ++i)
            wizardtesting::click(wizard, QWizard::NextButton);
    });
    QTimer::singleShot(10000, [] {
        log("gave up after 10 s");
        std::exit(1);
    });
    return application.exec();
}
