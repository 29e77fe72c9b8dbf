#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// Which of the window manager's close requests count once a page has been
// shown. A request the user gave before the page appeared was meant for what
// stood there before; a busy or stalled window manager may still deliver it
// long after, and it must not close a page the user has not seen.
//
// Where the window system stamps a request with the time the user gave it
// (its own clock, in milliseconds, wrapping at 2^32), that time decides.
// Where it gives none, requests are refused for a short time after the page
// appears, which covers a window manager that lags a little, not one that
// stalls.
class CloseRequestRule {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kUntimedRefusal { 2000 };

    // `windowSystemTimeShown`: the window system's clock when the page was
    // shown, where it has one.
    CloseRequestRule(Clock::time_point shown, std::optional<std::uint32_t> windowSystemTimeShown);

    // `requestTime`: the window system's time of the request; none or 0
    // (X's "current time") when the request carries none.
    bool admits(std::optional<std::uint32_t> requestTime, Clock::time_point arrived) const;

private:
    Clock::time_point m_shown;
    std::optional<std::uint32_t> m_windowSystemTimeShown;
};
