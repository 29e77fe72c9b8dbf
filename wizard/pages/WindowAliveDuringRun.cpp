#include "WindowAliveDuringRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

#include "CloseRequestRule.h"
#include "WindowSystemTime.h"

namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::NonClientAreaMouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

class InputDropper : public QObject {
public:
    InputDropper() { QCoreApplication::instance()->installEventFilter(this); }
    ~InputDropper() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* to, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            // Accepted, the key counts as a plain key press, which is then
            // dropped: no shortcut fires either.
            event->accept();
            return true;
        }
        // The window manager's close request reaches the window first; the
        // wizard's own close() goes to the widget and stays untouched.
        if (event->type() == QEvent::Close && to->isWindowType()) {
            event->ignore();
            return true;
        }
        return isUserInput(event->type());
    }
};

// Lives as the window's child: decides on the window manager's close
// requests by their time where the window system gives one, else on the
// close events that Qt makes of them.
class LateCloseRequestDropper : public QObject {
public:
    explicit LateCloseRequestDropper(QWidget& window)
        : QObject(&window)
        , m_rule(CloseRequestRule::Clock::now(), windowSystemTimeNow())
    {
        m_timedFilter = filterTimedCloseRequests(
            window, [this](std::uint32_t time) { return m_rule.admits(time, CloseRequestRule::Clock::now()); });
        if (!m_timedFilter && window.windowHandle())
            window.windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::Close || m_rule.admits(std::nullopt, CloseRequestRule::Clock::now()))
            return false;
        event->ignore();
        return true;
    }

private:
    CloseRequestRule m_rule;
    std::shared_ptr<void> m_timedFilter;
};

} // namespace

WindowAliveDuringRun::WindowAliveDuringRun()
    : m_previousPause(setJobPause(processWindowEventsFor))
    , m_inputDropper(std::make_unique<InputDropper>())
{
}

WindowAliveDuringRun::~WindowAliveDuringRun()
{
    m_inputDropper.reset();
    setJobPause(std::move(m_previousPause));
}

void processWindowEventsFor(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 total = std::llround(seconds * 1000);
    QEventLoop loop;
    QTimer::singleShot(total, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    // The window system keeps the user's input queued; anything that comes
    // in another way is dropped by the run's filter.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    // A quitting application ends every nested loop at once; the rest of the
    // time then passes asleep, so the job's tests keep their pace.
    const qint64 left = total - clock.elapsed();
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(left));
}

void discardInputGivenWhileFrozen()
{
    InputDropper dropper;
    // sync() delivers what is queued, makes a round trip to the window system
    // so that the events it sent before are read in, and delivers those too.
    QGuiApplication::sync();
    QCoreApplication::processEvents();
}

void refuseCloseRequestsGivenBeforeNow(QWidget& window)
{
    new LateCloseRequestDropper(window);
}
