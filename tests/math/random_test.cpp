// The shared table random stream.
#include <gtest/gtest.h>

#include "math/zmath.h"

TEST(Random, FirstDrawsAndSharedPosition) {
    EXPECT_EQ(rnd_seed, 0);
    EXPECT_EQ(random2(), 0u); // 0x1E & 1
    EXPECT_EQ(random8(), 1u); // 0xC1 & 7
    EXPECT_EQ(random256(), 0xFCu);
    EXPECT_EQ(random4(), 0x98u & 3);
    EXPECT_EQ(random16(), 0x46u & 15);
    EXPECT_EQ(random32(), 0xEDu & 31);
    EXPECT_EQ(random64(), 0x87u & 63);
    EXPECT_EQ(random128(), 0x36u & 127);
    EXPECT_EQ(rnd_seed, 8);
}

TEST(Random, EachFunctionMasksTheSameByte) {
    unsigned (*const fn[8])() = {random2,  random4,  random8,   random16,
                                 random32, random64, random128, random256};
    for (int f = 0; f < 8; f++) {
        rnd_seed = 0;
        EXPECT_EQ(fn[f](), 30u & ((2u << f) - 1)) << f;
    }
    rnd_seed = 0;
    EXPECT_EQ(random8(), 6u);
}

// The stream wraps after index 1023 and holds every byte four times.
TEST(Random, WrapAndDistribution) {
    int seen[256] = {0};
    for (int i = 0; i < 1024; i++)
        seen[random256()]++;
    for (int v = 0; v < 256; v++)
        ASSERT_EQ(seen[v], 4) << v;
    EXPECT_EQ(rnd_seed, 0);
    rnd_seed = 1023;
    EXPECT_EQ(random256(), 0x63u);
    EXPECT_EQ(rnd_seed, 0);
    EXPECT_EQ(random256(), 0x1Eu);
    EXPECT_EQ(table_rnd[512], 0x71);
    EXPECT_EQ(table_rnd[1000], 0x28);
}

// A position set by hand past the table still reads inside it.
TEST(Random, PositionPastTheTableStaysInside) {
    rnd_seed = 1024 + 5;
    EXPECT_EQ(random256(), (unsigned)table_rnd[5]);
    EXPECT_EQ(rnd_seed, 6);
    rnd_seed = 0xFFFF;
    EXPECT_EQ(random256(), 0x63u);
    EXPECT_EQ(rnd_seed, 0);
}
