#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// The window system's own clock, where it has one that it also stamps the
// window manager's close requests with (X11: the server time).

// The window system's time now; nothing where it has no such clock.
std::optional<std::uint32_t> windowSystemTimeNow();

// Hands every close request that the window manager sends `window` to
// `admits`, with the time the request carries (0 when none), and drops it
// where `admits` says no; for as long as the returned object lives. Nothing
// where the window system gives no times: then the close event that Qt makes
// of the request is all there is.
std::shared_ptr<void> filterTimedCloseRequests(const QWidget& window, std::function<bool(std::uint32_t)> admits);
