// Font loading: the key colour, the mask, the glyph size and the refusals.
#include <gtest/gtest.h>

#include "console/sfont.h"
#include "fontbmp.h"
#include "game/globalvar.h"
#include "support/testsupport.h"

static void WriteFont(int w, int h, const std::vector<uint8_t> &px, int bpp = 8) {
    EnterScratchDir();
    WriteFile("font/font.bmp", MakeBmp(w, h, px, bpp));
}

// The mask follows the image pixel by pixel; sizes and glyph cells follow the
// image size, remainders discarded. 130 x 130 has padded rows (pitch 132).
TEST(FontLoad, MaskAndSizes) {
    const int sizes[][2] = {{128, 128}, {130, 130}, {256, 256}, {16, 16}, {4096, 16}, {48, 200}};
    for (auto &sz : sizes) {
        int w = sz[0], h = sz[1];
        auto px = RandomFontPixels(w, h, w * 1000 + h);
        WriteFont(w, h, px);
        s_initfont();
        ASSERT_EQ(fontx, w);
        ASSERT_EQ(fonty, h);
        EXPECT_EQ(charx, w / 16);
        EXPECT_EQ(chary, h / 16);
        for (int i = 0; i < w * h; i++)
            ASSERT_EQ(fontdata[i], px[i] == 3 ? 0 : 1) << w << "x" << h << " pixel " << i;
    }
}

// A top-left pixel drawn in the ink colour makes that colour the key: the
// whole font comes out inverted.
TEST(FontLoad, TopLeftPixelIsTheKey) {
    std::vector<uint8_t> px(128 * 128, 9);
    for (int i = 0; i < 128 * 128; i += 3)
        px[i] = 4;
    WriteFont(128, 128, px);
    s_initfont();
    for (int i = 0; i < 128 * 128; i++)
        ASSERT_EQ(fontdata[i], px[i] == 4 ? 0 : 1);
    EXPECT_EQ(fontdata[0], 0);
}

TEST(FontLoad, MissingFileExits) {
    EnterScratchDir();
    EXPECT_EXIT(s_initfont(), ::testing::ExitedWithCode(1),
                "marrowdigger: cannot open font/font.bmp");
}

TEST(FontLoad, UnreadableFilesExit) {
    EnterScratchDir();
    WriteFile("font/font.bmp", "this is not a bitmap at all, just some text\n");
    EXPECT_EXIT(s_initfont(), ::testing::ExitedWithCode(1),
                "marrowdigger: cannot read font/font.bmp");
    WriteFile("font/font.bmp", MakeBmp(128, 128, RandomFontPixels(128, 128, 1)).substr(0, 40));
    EXPECT_EXIT(s_initfont(), ::testing::ExitedWithCode(1), "font/font.bmp");
}

TEST(FontLoad, WrongDepthExits) {
    WriteFont(128, 128, std::vector<uint8_t>(128 * 128, 1), 24);
    EXPECT_EXIT(s_initfont(), ::testing::ExitedWithCode(1), "font/font.bmp is not 8 bits");
}

TEST(FontLoad, TooSmallOrTooLargeExits) {
    WriteFont(15, 128, std::vector<uint8_t>(15 * 128, 1));
    EXPECT_EXIT(s_initfont(), ::testing::ExitedWithCode(1), "font/font.bmp is smaller");
    WriteFont(128, 15, std::vector<uint8_t>(128 * 15, 1));
    EXPECT_EXIT(s_initfont(), ::testing::ExitedWithCode(1), "font/font.bmp is smaller");
    WriteFont(257, 256, std::vector<uint8_t>(257 * 256, 1));
    EXPECT_EXIT(s_initfont(), ::testing::ExitedWithCode(1), "font/font.bmp is larger");
    WriteFont(4096, 17, std::vector<uint8_t>(4096 * 17, 1));
    EXPECT_EXIT(s_initfont(), ::testing::ExitedWithCode(1), "font/font.bmp is larger");
}

// The shipped font: 128 x 128, 8 x 8 glyphs, the space glyph blank and the
// cursor glyph with ink.
TEST(FontLoad, ShippedFont) {
    s_initfont();
    EXPECT_EQ(fontx, 128);
    EXPECT_EQ(charx, 8);
    EXPECT_EQ(chary, 8);
    int space = 0, cursor = 0;
    for (int j = 0; j < 8; j++)
        for (int i = 0; i < 8; i++) {
            space += fontdata[(2 * 8 + j) * 128 + 0 * 8 + i];
            cursor += fontdata[(5 * 8 + j) * 128 + 15 * 8 + i];
        }
    EXPECT_EQ(space, 0);
    EXPECT_GT(cursor, 0);
}
