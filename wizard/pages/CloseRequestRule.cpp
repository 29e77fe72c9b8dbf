#include "CloseRequestRule.h"

CloseRequestRule::CloseRequestRule(Clock::time_point shown, std::optional<std::uint32_t> windowSystemTimeShown)
    : m_shown(shown)
    , m_windowSystemTimeShown(windowSystemTimeShown)
{
}

bool CloseRequestRule::admits(std::optional<std::uint32_t> requestTime, Clock::time_point arrived) const
{
    if (requestTime && *requestTime != 0 && m_windowSystemTimeShown) {
        // The clock wraps after 49.7 days; the difference of two times close
        // to each other, read as signed, says which came first.
        const auto sinceShown = static_cast<std::int32_t>(*requestTime - *m_windowSystemTimeShown);
        return sinceShown >= 0;
    }
    return arrived - m_shown >= kUntimedRefusal;
}
