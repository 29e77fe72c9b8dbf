// Whether the window answers while the run waits, on a real X display
// (bench/window-answers.sh runs it under Xvfb):
//
//   window_answers_bench [--frozen]
//
// The wizard goes to the progress page, where a stand-in run waits 5.5 s as
// the real job does (1.0 s, then 0.5 s at a time) through the job's pause;
// with --frozen it sleeps instead, as the run did before. A second X client,
// on a thread of its own, pings the window once before the run and then,
// about twice a second while the run waits,
//   - sends the window the desktop's "still responding?" ping (_NET_WM_PING)
//     and logs whether and when the answer came back, and
//   - covers the window with a red window, takes it away again, and after
//     0.3 s counts the red pixels left where the window stands (a window
//     that is not redrawn keeps the ghost of whatever covered it);
// and once it sends the window manager's close request, which must not end
// the wizard: the final page is still to be shown 1 s after the run.
#include <xcb/xcb.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "JobPause.h"
#include "UninstallWizard.h"
#include "WizardTesting.h"

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> runGoing { false };
bool frozen = false;

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply
        = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return result;
}

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string describe(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, "answered in %.1f ms", ms);
    return text;
}

// One ping: true when the answer came back within a second.
bool ping(xcb_connection_t* c, xcb_window_t root, xcb_window_t window, std::uint32_t stamp, double* ms)
{
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(c, "WM_PROTOCOLS");
    event.data.data32[0] = atom(c, "_NET_WM_PING");
    event.data.data32[1] = stamp;
    event.data.data32[2] = window;
    // Timed from before the send: the answer may come while this thread waits for the processor.
    const Clock::time_point sent = Clock::now();
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(c);
    while (msSince(sent) < 1000) {
        while (xcb_generic_event_t* got = xcb_poll_for_event(c)) {
            const bool pong = (got->response_type & 0x7f) == XCB_CLIENT_MESSAGE
                && reinterpret_cast<xcb_client_message_event_t*>(got)->window == root
                && reinterpret_cast<xcb_client_message_event_t*>(got)->data.data32[1] == stamp;
            std::free(got);
            if (pong) {
                *ms = msSince(sent);
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

// What a window manager sends when the user clicks the window's close button.
void askToClose(xcb_connection_t* c, xcb_window_t window)
{
    xcb_client_message_event_t event {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(c, "WM_PROTOCOLS");
    event.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

// Covers the window with red, uncovers it, and counts red pixels left after 0.3 s.
long ghostPixels(xcb_connection_t* c, xcb_screen_t* screen, int x, int y, int width, int height)
{
    const xcb_window_t cover = xcb_generate_id(c);
    const std::uint32_t values[] = { 0xff0000, 1 };
    xcb_create_window(c, XCB_COPY_FROM_PARENT, cover, screen->root, x + 20, y + 20, width - 40, height - 40, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c, cover);
    xcb_flush(c);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    xcb_destroy_window(c, cover);
    xcb_flush(c);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    xcb_get_image_reply_t* image = xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, x, y, width, height, ~0u), nullptr);
    long red = 0;
    if (image) {
        const auto* pixels = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(image));
        const int count = xcb_get_image_data_length(image) / 4;
        for (int i = 0; i < count; ++i)
            red += (pixels[i] & 0xffffff) == 0xff0000;
        std::free(image);
    }
    return red;
}

void watch(xcb_window_t window, QRect frame)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    // The answer goes to the root window, to clients that watch its structure.
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    {
        double ms = 0;
        const bool answered = ping(c, screen->root, window, 1000000, &ms);
        std::printf("before the run: ping %s\n", answered ? describe(ms).c_str() : "unanswered");
    }
    while (!runGoing)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    int pings = 0, answered = 0, clean = 0, probes = 0;
    double worst = 0;
    for (std::uint32_t stamp = 1; runGoing; ++stamp) {
        double ms = 0;
        ++pings;
        if (ping(c, screen->root, window, stamp, &ms)) {
            ++answered;
            worst = std::max(worst, ms);
        }
        if (!runGoing)
            break;
        ++probes;
        if (probes == 2) {
            askToClose(c, window);
            std::printf("probe 2: the window manager's close request sent\n");
        }
        const long red = ghostPixels(c, screen, frame.x(), frame.y(), frame.width(), frame.height());
        clean += red == 0;
        std::printf("probe %d: ping %s, %ld red pixels left after uncovering\n", probes,
            ms > 0 ? describe(ms).c_str() : "unanswered", red);
    }
    std::printf("%s: %d of %d pings answered (slowest %.1f ms); %d of %d uncoverings repainted\n",
        frozen ? "frozen (sleeping) wait" : "pausing wait", answered, pings, worst, clean, probes);
    std::fflush(stdout);
    xcb_disconnect(c);
}

int standInRun(int)
{
    runGoing = true;
    const auto wait = [](double seconds) {
        if (frozen || !pauseInsteadOfSleeping(seconds))
            std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    };
    wait(1.0);
    for (int i = 0; i < 9; ++i)
        wait(0.5);
    runGoing = false;
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    frozen = argc > 1 && std::strcmp(argv[1], "--frozen") == 0;
    UninstallWizard wizard(standInRun, [] { return false; });
    wizard.show();
    std::thread watcher;
    QTimer::singleShot(0, [&] {
        if (!QTest::qWaitForWindowExposed(&wizard))
            std::printf("window not exposed\n");
        watcher = std::thread(watch, static_cast<xcb_window_t>(wizard.winId()), wizard.geometry());
        for (int i = 0; i < 3; ++i)
            wizardtesting::click(wizard, QWizard::NextButton);
    });
    QObject::connect(&wizard, &QWizard::currentIdChanged, [&](int id) {
        if (id != 6)
            return;
        QTimer::singleShot(1000, [&] {
            std::printf("final page %s 1 s after the run\n", wizard.isVisible() ? "still shown" : "gone");
            wizard.close();
        });
    });
    const int status = application.exec();
    watcher.join();
    return status;
}
