// Whole decimal numbers: the ends of a range, overflow and what is not a number.
#include <gtest/gtest.h>

#include "resources/number.h"

TEST(ParseNumber, RangeEndsOverflowAndNonNumbers) {
    uint64_t v = 7;
    EXPECT_TRUE(ParseNumber("1", 1, 4, &v));
    EXPECT_EQ(v, 1u);
    EXPECT_TRUE(ParseNumber("0004", 1, 4, &v));
    EXPECT_EQ(v, 4u);
    EXPECT_TRUE(ParseNumber("18446744073709551615", 0, UINT64_MAX, &v));
    EXPECT_EQ(v, UINT64_MAX);
    v = 7;
    for (const char *bad : {"0", "5", "", "+1", "-1", " 1", "1 ", "1x", "0x1"})
        EXPECT_FALSE(ParseNumber(bad, 1, 4, &v)) << bad;
    EXPECT_FALSE(ParseNumber("18446744073709551616", 0, UINT64_MAX, &v)); // wraps to 0
    EXPECT_FALSE(ParseNumber("99999999999999999999999", 0, UINT64_MAX, &v));
    EXPECT_FALSE(ParseNumber("5", 0, 0, &v)); // one digit past a range of 0..0
    EXPECT_FALSE(ParseNumber(nullptr, 0, 9, &v));
    EXPECT_EQ(v, 7u); // refusals leave the value alone
}
