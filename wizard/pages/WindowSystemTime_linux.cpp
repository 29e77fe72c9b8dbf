#include "WindowSystemTime.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QX11Info>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// ICCCM: a close request is the client message WM_PROTOCOLS carrying
// WM_DELETE_WINDOW and the time of the user's action.
class TimedCloseRequestFilter : public QAbstractNativeEventFilter {
public:
    TimedCloseRequestFilter(xcb_window_t window, std::function<bool(std::uint32_t)> admits)
        : m_window(window)
        , m_protocols(internAtom(QX11Info::connection(), "WM_PROTOCOLS"))
        , m_deleteWindow(internAtom(QX11Info::connection(), "WM_DELETE_WINDOW"))
        , m_admits(std::move(admits))
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~TimedCloseRequestFilter() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    bool nativeEventFilter(const QByteArray& eventType, void* message, long*) override
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto* client = reinterpret_cast<const xcb_client_message_event_t*>(event);
        if (client->window != m_window || client->type != m_protocols || client->format != 32
            || client->data.data32[0] != m_deleteWindow)
            return false;
        return !m_admits(client->data.data32[1]);
    }

private:
    xcb_window_t m_window;
    xcb_atom_t m_protocols;
    xcb_atom_t m_deleteWindow;
    std::function<bool(std::uint32_t)> m_admits;
};

} // namespace

std::optional<std::uint32_t> windowSystemTimeNow()
{
    if (!QX11Info::isPlatformX11())
        return std::nullopt;
    // A round trip: the server stamps a property change with its time now.
    return static_cast<std::uint32_t>(QX11Info::getTimestamp());
}

std::shared_ptr<void> filterTimedCloseRequests(const QWidget& window, std::function<bool(std::uint32_t)> admits)
{
    if (!QX11Info::isPlatformX11() || !window.internalWinId())
        return nullptr;
    return std::make_shared<TimedCloseRequestFilter>(
        static_cast<xcb_window_t>(window.internalWinId()), std::move(admits));
}
