#include <gtest/gtest.h>

#include "ChoiceMask.h"

namespace remover {

TEST(ChoiceMask, ReadsLikeIntValue)
{
    const struct {
        const char* text;
        int value;
    } cases[] = {
        { "6", 6 },
        { "0", 0 },
        { "", 0 },
        { "abc", 0 },
        { "-", 0 },
        { "+4", 4 },
        { "-2", -2 },
        { "  \t\n 2", 2 },
        { "4xyz", 4 },
        { "12 34", 12 },
        { "0x6", 0 },
        { "00006", 6 },
        { "2147483647", 2147483647 },
        { "2147483648", 2147483647 },
        { "99999999999", 2147483647 },
        { "-2147483648", -2147483647 - 1 },
        { "-99999999999", -2147483647 - 1 },
        { "999999999999999999999999999999", 2147483647 },
        { " - 6", 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseChoiceMask(c.text), c.value) << "text: \"" << c.text << "\"";
}

} // namespace remover
