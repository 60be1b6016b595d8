// Palette file decoding, its quirks and the shade ramp.
#include <gtest/gtest.h>

#include <string.h>
#include <sys/stat.h>

#include <string>

#include "console/render.h"
#include "game/initall.h"
#include "support/testsupport.h"

struct Rgb {
    int r, g, b;
};

static Rgb Entry(int n) {
    return Rgb{palette[3 * n], palette[3 * n + 1], palette[3 * n + 2]};
}

#define EXPECT_RGB(n, R, G, B)                                                                     \
    do {                                                                                           \
        Rgb e_ = Entry(n);                                                                         \
        EXPECT_EQ(e_.r, R) << "entry " << (n);                                                     \
        EXPECT_EQ(e_.g, G) << "entry " << (n);                                                     \
        EXPECT_EQ(e_.b, B) << "entry " << (n);                                                     \
    } while (0)

static void LoadPaletteText(const std::string &text) {
    WriteFile("client/palette.cfg", text);
    LoadPalette();
}

// Tokens are blue, green, red; a seventeenth token is not read.
TEST(LoadPalette, BlueGreenRedOrder) {
    EnterScratchDir();
    std::string text = "FF8000 0000FF\n00FF00\t123456\n";
    for (int i = 4; i < 16; i++)
        text += "ABCDEF ";
    text += "FFFFFF\n";
    LoadPaletteText(text);
    EXPECT_RGB(0, 0, 128, 255);
    EXPECT_RGB(1, 255, 0, 0);
    EXPECT_RGB(2, 0, 255, 0);
    EXPECT_RGB(3, 0x56, 0x34, 0x12);
    EXPECT_RGB(15, 0xEF, 0xCD, 0xAB);
}

// A character that is no upper-case digit keeps the digit last decoded for
// its kind: high digits follow high digits, low follow low, across channels
// and tokens; before any digit was decoded the value is 0.
TEST(LoadPalette, UnknownCharactersKeepTheLastDigit) {
    EnterScratchDir();
    LoadPaletteText("zz1234 123456 ff0000 AbCdEf 12-4x6 " + std::string(11, ' '));
    EXPECT_RGB(0, 0x34, 0x12, 0x00); // nothing decoded yet: blue 00
    EXPECT_RGB(1, 0x56, 0x34, 0x12);
    EXPECT_RGB(2, 0x00, 0x00, 0x56); // 'f' 'f': the 5 and 6 of the last red
    EXPECT_RGB(3, 0xE0, 0xC0, 0xA0); // low digits keep the 0 of the token before
    EXPECT_RGB(4, 0x16, 0x14, 0x12); // '-' and 'x' keep the high 1
}

// A short token: the positions past its end set no digit. A long token is one
// colour; its characters past the seventh are dropped, not read as a token.
TEST(LoadPalette, ShortAndLongTokens) {
    EnterScratchDir();
    std::string text = "123456 AB 0000FF" + std::string(5000, '7') + " 00FF00 C";
    for (int i = 4; i < 16; i++)
        text += " 000000";
    LoadPaletteText(text);
    EXPECT_RGB(1, 0xAB, 0xAB, 0xAB); // AB: green and red repeat A and B
    EXPECT_RGB(2, 255, 0, 0);
    EXPECT_RGB(3, 0, 255, 0);
    EXPECT_RGB(4, 0xC0, 0xC0, 0xC0); // C: high C, low digits stay 0
    EXPECT_RGB(5, 0, 0, 0);
}

// When the file runs out, the buffer keeps the last token and each remaining
// colour decodes it again.
TEST(LoadPalette, FewerThanSixteenTokens) {
    EnterScratchDir();
    LoadPaletteText("000000\nFF8000\n102030\n");
    EXPECT_RGB(2, 0x30, 0x20, 0x10);
    for (int n = 3; n < 16; n++)
        EXPECT_RGB(n, 0x30, 0x20, 0x10);
    // With unknown characters the carried digits make the repeats differ.
    LoadPaletteText("0000FF GG1234");
    EXPECT_RGB(1, 0x34, 0x12, 0xFF);
    EXPECT_RGB(2, 0x34, 0x12, 0x34);
    EXPECT_RGB(15, 0x34, 0x12, 0x34);
}

// Level i of each base colour is the channel times (16 - i) / 16.
TEST(LoadPalette, ShadeRamp) {
    EnterScratchDir();
    std::string text = "FFFFFF 010101 000000 ";
    for (int i = 3; i < 16; i++)
        text += "8040C0 ";
    LoadPaletteText(text);
    const int ramp[16] = {255, 239, 223, 207, 191, 175, 159, 143, 127, 111, 95, 79, 63, 47, 31, 15};
    for (int i = 0; i < 16; i++) {
        EXPECT_RGB(16 * i, ramp[i], ramp[i], ramp[i]);
        EXPECT_RGB(16 * i + 2, 0, 0, 0);
        if (i > 0)
            EXPECT_RGB(16 * i + 1, 0, 0, 0);
    }
    EXPECT_RGB(1, 1, 1, 1);
    EXPECT_RGB(0x38, 0xC0 * 13 / 16, 0x40 * 13 / 16, 0x80 * 13 / 16);
    for (int n = 0; n < 256; n++)
        for (int ch = 0; ch < 3; ch++)
            ASSERT_EQ(palette[3 * n + ch], palette[3 * (n % 16) + ch] * (16 - n / 16) / 16);
}

// Missing, unreadable or colourless files give the built-in palette: sixteen
// distinct base colours, black first, with their ramp.
TEST(LoadPalette, FallbackPalette) {
    EnterScratchDir();
    testing::internal::CaptureStderr();
    LoadPalette();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "marrowdigger: cannot open client/palette.cfg: No such file or directory\n");
    EXPECT_RGB(0, 0, 0, 0);
    for (int a = 0; a < 16; a++)
        for (int b = a + 1; b < 16; b++)
            EXPECT_NE(0, memcmp(palette + 3 * a, palette + 3 * b, 3)) << a << " " << b;
    for (int n = 16; n < 256; n++)
        for (int ch = 0; ch < 3; ch++)
            ASSERT_EQ(palette[3 * n + ch], palette[3 * (n % 16) + ch] * (16 - n / 16) / 16);
    uint8_t want[768];
    memcpy(want, palette, sizeof want);

    memset(palette, 0, sizeof palette);
    testing::internal::CaptureStderr();
    LoadPaletteText(" \n");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("client/palette.cfg"), std::string::npos);
    EXPECT_EQ(0, memcmp(want, palette, sizeof want));

    memset(palette, 0, sizeof palette);
    remove("client/palette.cfg");
    ASSERT_EQ(0, mkdir("client/palette.cfg", 0755));
    testing::internal::CaptureStderr();
    LoadPalette();
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot read client/palette.cfg"),
              std::string::npos);
    EXPECT_EQ(0, memcmp(want, palette, sizeof want));
}

// The shipped file decodes to sixteen distinct colours.
TEST(LoadPalette, ShippedFile) {
    LoadPalette();
    for (int a = 0; a < 16; a++)
        for (int b = a + 1; b < 16; b++)
            EXPECT_NE(0, memcmp(palette + 3 * a, palette + 3 * b, 3)) << a << " " << b;
}
