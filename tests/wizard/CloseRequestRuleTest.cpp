// Which close requests count once the result page shows: by the window
// system's time where the request carries one, else by the time since the
// page appeared.
#include <gtest/gtest.h>

#include "CloseRequestRule.h"

namespace {

using std::chrono::milliseconds;
using Clock = CloseRequestRule::Clock;

struct RuleCase {
    const char* what;
    std::optional<std::uint32_t> timeShown;
    std::optional<std::uint32_t> requestTime;
    milliseconds arrivedAfterShown;
    bool admitted;
};

TEST(CloseRequestRule, AdmitsOnlyRequestsGivenAfterThePageAppeared)
{
    const RuleCase cases[] = {
        { "given before, delivered 5 s late", 100000, 98900, milliseconds(5000), false },
        { "given after", 100000, 100250, milliseconds(300), true },
        { "given the same millisecond", 100000, 100000, milliseconds(0), true },
        { "given before the clock wrapped, page after", 10, 0xFFFFFF00u, milliseconds(5000), false },
        { "page before the clock wrapped, given after", 0xFFFFFF00u, 10, milliseconds(300), true },
        { "no time given, arrives at once", 100000, std::nullopt, milliseconds(10), false },
        { "time 0 stands for none", 100000, 0, milliseconds(10), false },
        { "no time given, arrives after the refusal", 100000, std::nullopt, CloseRequestRule::kUntimedRefusal, true },
        { "no clock, arrives within the refusal", std::nullopt, 98900, milliseconds(1999), false },
        { "no clock, arrives after the refusal", std::nullopt, 98900, milliseconds(2500), true },
    };
    const Clock::time_point shown = Clock::now();
    for (const RuleCase& c : cases) {
        const CloseRequestRule rule(shown, c.timeShown);
        EXPECT_EQ(rule.admits(c.requestTime, shown + c.arrivedAfterShown), c.admitted) << c.what;
    }
}

} // namespace
