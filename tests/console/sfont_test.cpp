// Font loading: the key colour, the mask, the glyph size and the refusals.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

#include "console/sfont.h"
#include "fontbmp.h"
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

// A refused image leaves the font loaded before untouched and says why.
TEST(FontLoad, RefusalKeepsTheFontAndSaysWhy) {
    auto px = RandomFontPixels(128, 128, 7);
    WriteFont(128, 128, px);
    ASSERT_EQ(LoadFont("font/font.bmp"), 0);
    std::vector<uint8_t> before(fontdata, fontdata + sizeof fontdata);
    WriteFile("font/wide.bmp", MakeBmp(128, 128, px, 24));
    EXPECT_NE(LoadFont("font/wide.bmp"), 0);
    EXPECT_STREQ(font_error, "font/wide.bmp is not 8 bits per pixel (24)");
    EXPECT_NE(LoadFont("font/none.bmp"), 0);
    EXPECT_NE(strstr(font_error, "cannot open font/none.bmp"), nullptr);
    EXPECT_EQ(fontx, 128);
    EXPECT_EQ(charx, 8);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), fontdata));
}

// A damaged header declaring a huge image is refused from the header alone,
// before SDL would allocate the image (2621440 x 983040 pixels in a file of
// a few hundred bytes, found by fuzzing); so is a huge image in the 12-byte
// OS/2 header form, also when the file ends right after its sizes (also
// found by fuzzing), and a top-down one.
TEST(FontLoad, HugeDeclaredSizeIsRefusedFromTheHeader) {
    std::string bmp = MakeBmp(16, 16, RandomFontPixels(16, 16, 3));
    std::string huge = bmp;
    huge.replace(14, 12, std::string("\0\0\x3e\0\0\0\x28\0\0\0\x0f\0", 12));
    EnterScratchDir();
    WriteFile("font/font.bmp", huge);
    EXPECT_NE(LoadFont("font/font.bmp"), 0);
    EXPECT_STREQ(font_error, "font/font.bmp is larger than 65536 pixels (2621440 x 983040)");
    EXPECT_EXIT(s_initfont(), ::testing::ExitedWithCode(1), "font/font.bmp is larger");

    std::string os2 = bmp.substr(0, 14);
    Put32(os2, 12);
    Put16(os2, 300);
    Put16(os2, 300);
    Put16(os2, 1);
    Put16(os2, 8);
    WriteFile("font/font.bmp", os2 + std::string(64, '\0'));
    EXPECT_NE(LoadFont("font/font.bmp"), 0);
    EXPECT_STREQ(font_error, "font/font.bmp is larger than 65536 pixels (300 x 300)");

    // A file that ends inside the OS/2 header, after the sizes (25 bytes;
    // SDL allocated 28432 x 8308 pixels for it before reading on).
    WriteFile("font/font.bmp", os2.substr(0, 25));
    EXPECT_NE(LoadFont("font/font.bmp"), 0);
    EXPECT_STREQ(font_error, "font/font.bmp is larger than 65536 pixels (300 x 300)");

    std::string topdown = bmp;
    topdown.replace(18, 8, std::string("\0\x40\0\0\0\xc0\xff\xff", 8)); // 16384 x -16384
    WriteFile("font/font.bmp", topdown);
    EXPECT_NE(LoadFont("font/font.bmp"), 0);
    EXPECT_STREQ(font_error, "font/font.bmp is larger than 65536 pixels (16384 x 16384)");
}
