// Trigonometric tables and the angle helpers.
#include <gtest/gtest.h>
#include <math.h>

#include "math/tables.h"
#include "math/zmath.h"

// Every sine entry is the rounded scaled sine; cosine is the sine a quarter
// turn on.
TEST(Tables, SineAndCosine) {
    LoadTables();
    for (int i = 0; i < 4096; i++) {
        long want = lround(65536.0 * sin(2.0 * M_PI * i / 4096.0));
        ASSERT_EQ(f_sin[i], want) << i;
        ASSERT_EQ(f_cos[i], f_sin[(i + 1024) % 4096]) << i;
    }
    const int idx[] = {0, 1, 2, 3, 256, 512, 768, 1000, 1023, 1024, 2048, 3072, 4095};
    const int val[] = {0, 101, 201, 302, 25080, 46341, 60547, 65492, 65536, 65536, 0, -65536, -101};
    for (int k = 0; k < 13; k++)
        EXPECT_EQ(f_sin[idx[k]], val[k]) << idx[k];
    EXPECT_EQ(f_cos[0], 65536);
    EXPECT_EQ(f_cos[1024], 0);
    EXPECT_EQ(f_cos[2048], -65536);
}

TEST(Tables, Tangent) {
    LoadTables();
    const int idx[] = {0, 1, 3, 256, 512, 768, 1000, 1023, 1024};
    const int val[] = {0, 0, 1, 106, 256, 618, 6951, 167772, 268435455};
    for (int k = 0; k < 9; k++)
        EXPECT_EQ(f_tan[idx[k]], val[k]) << idx[k];
    for (int i = 1; i <= 1024; i++)
        ASSERT_LE(f_tan[i - 1], f_tan[i]) << i;
}

TEST(Angles, Arctan) {
    LoadTables();
    EXPECT_EQ(arctan(100, 100), 512);
    EXPECT_EQ(arctan(-100, 100), 1536);
    EXPECT_EQ(arctan(-100, -100), 2560);
    EXPECT_EQ(arctan(100, -100), 3584);
    EXPECT_EQ(arctan(0, 5), 1024);
    EXPECT_EQ(arctan(0, -5), 3072);
    EXPECT_EQ(arctan(0, 0), 1024);
    EXPECT_EQ(arctan(256, 100), 244);
    EXPECT_EQ(arctan(300, 200), 383);
    EXPECT_EQ(arctan(100, 173), 682);
    EXPECT_EQ(arctan(173, 100), 340);
    EXPECT_EQ(arctan(1, 127), 1019);
    EXPECT_EQ(arctan(5000, -1), 4096);
    EXPECT_EQ(arctan(-100, 0), 0);
    EXPECT_EQ(arctan(100, 0), 0);
    // The ratio wraps to 16 bits: y / x = 256 gives 65536, which is 0.
    EXPECT_EQ(arctan(1, 256), 0);
    EXPECT_EQ(arctan(-1, 256), 2048);
    // q truncates toward zero, then q / 16 rounds down: (7, -3) gives
    // q = -1755, t = 110, where (7, 3) gives t = 109; (8192, -65) gives
    // q = -32 (not -33), t = 2.
    EXPECT_EQ(arctan(7, -3), 4096 - arctan(256, 110));
    EXPECT_EQ(arctan(7, 3), arctan(256, 109));
    EXPECT_NE(arctan(256, 110), arctan(256, 109));
    EXPECT_EQ(arctan(8192, -65), 4096 - arctan(256, 2));
    EXPECT_NE(arctan(256, 2), arctan(256, 3));
}

TEST(Angles, Helpers) {
    EXPECT_EQ(SuperAngle(-1), 4095);
    EXPECT_EQ(SuperAngle(4096), 0);
    EXPECT_EQ(SuperAngle(70000), 368);
    EXPECT_EQ(SuperAngle(4095), 4095);
    EXPECT_EQ(SuperAngle(-32768), 0);
    EXPECT_EQ(calcturn(0, 3000), -1096);
    EXPECT_EQ(calcturn(3000, 0), 1096);
    EXPECT_EQ(calcturn(0, 2048), 2048);
    EXPECT_EQ(calcturn(2048, 0), -2048);
    EXPECT_EQ(calcturn(100, 50), -50);
    EXPECT_EQ(fastrange(-7, 3), 7);
    EXPECT_EQ(fastrange(2, -9), 9);
    EXPECT_EQ(zabs(-5), 5);
    EXPECT_EQ(zabs(5), 5);
    EXPECT_EQ(zabs(0), 0);
}
