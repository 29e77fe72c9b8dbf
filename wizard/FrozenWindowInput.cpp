#include "FrozenWindowInput.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>

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
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            // Accepted, the key counts as a plain key press, which is then
            // dropped: no shortcut fires either.
            event->accept();
            return true;
        }
        return isUserInput(event->type());
    }
};

} // namespace

void discardInputGivenWhileFrozen()
{
    InputDropper dropper;
    QCoreApplication::instance()->installEventFilter(&dropper);
    // sync() delivers what is queued, makes a round trip to the window system
    // so that the events it sent before are read in, and delivers those too.
    QGuiApplication::sync();
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(&dropper);
}
