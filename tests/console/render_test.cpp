// Console renderer against a pixel-by-pixel reference on random cell planes.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "console/render.h"
#include "console/sfont.h"
#include "fontbmp.h"
#include "support/testsupport.h"
#include "world/world.h"

static const int kFrame = 320 * 240;

static void LoadFont(int w, int h, unsigned seed) {
    EnterScratchDir();
    WriteFile("font/font.bmp", MakeBmp(w, h, RandomFontPixels(w, h, seed)));
    s_initfont();
    Screen_Width = 320;
    Screen_Height = 240;
}

static void RandomPlanes(std::mt19937 &rng) {
    for (int i = 0; i < CON_CELLS; i++) {
        scch[i] = (uint8_t)rng();
        sccl[i] = (uint8_t)rng();
        sccb[i] = (uint8_t)rng();
    }
}

// What the frame must hold after rendering over `before`: worked out from the
// screen side, pixel by pixel.
static std::vector<uint8_t> Reference(const std::vector<uint8_t> &before) {
    std::vector<uint8_t> out = before;
    int cx = charx, cy = chary, fx = fontx, w = Screen_Width, h = Screen_Height;
    int cols = w / cx, rows = h / cy;
    if (cols > 255)
        cols = 255;
    if (rows > 255)
        rows = 255;
    for (int py = 0; py < h; py++) {
        for (int px = 0; px < w; px++) {
            int k = px / cx, r = py / cy, i = px % cx, j = py % cy;
            int cell = k * 256 + r;
            if (k < cols && r < rows) {
                int c = scch[cell];
                bool ink = fontdata[((c / 16) * cy + j) * fx + (c % 16) * cx + i];
                out[py * w + px] = ink ? sccl[cell] : sccb[cell];
            }
            if ((curgametick & 256) && k == cursor_x && r == cursor_y &&
                fontdata[(5 * cy + j) * fx + 15 * cx + i])
                out[py * w + px] = sccl[cursor_x * 256 + cursor_y];
        }
    }
    return out;
}

// Renders over a random frame and compares with the reference; the bytes
// past the frame must stay as they were.
static void CheckFrames(unsigned seed, int frames) {
    std::mt19937 rng(seed);
    for (int f = 0; f < frames; f++) {
        RandomPlanes(rng);
        for (int i = 0; i < kFrame + 1024; i++)
            scrbuf[i] = (uint8_t)rng();
        cursor_x = (uint8_t)(rng() % 48);
        cursor_y = (uint8_t)(rng() % 36);
        curgametick = rng();
        std::vector<uint8_t> before(scrbuf, scrbuf + kFrame + 1024);
        std::vector<uint8_t> want = Reference(before);
        RenderConsole();
        for (int i = 0; i < kFrame + 1024; i++)
            ASSERT_EQ(scrbuf[i], want[i]) << "frame " << f << " pixel " << i % 320 << "," << i / 320
                                          << " tick " << curgametick;
    }
}

TEST(RenderConsole, MatchesReferenceWith8x8Glyphs) {
    LoadFont(128, 128, 11);
    CheckFrames(1, 12);
}

TEST(RenderConsole, MatchesReferenceWith16x16Glyphs) {
    LoadFont(256, 256, 12);
    CheckFrames(2, 12);
}

// 12 x 12 glyphs leave an 8-pixel strip at the right; 1 x 1 glyphs hit the
// 255-column limit (pixel columns 255..319 are never painted).
TEST(RenderConsole, MatchesReferenceWithRemainderAndColumnLimit) {
    LoadFont(192, 192, 13);
    CheckFrames(3, 6);
    LoadFont(16, 16, 14);
    CheckFrames(4, 3);
    for (int i = 0; i < kFrame; i++)
        scrbuf[i] = 0xEE;
    RenderConsole();
    EXPECT_EQ(scrbuf[319], 0xEE);
    EXPECT_EQ(scrbuf[100 * 320 + 255], 0xEE);
}

// A 130 x 130 image draws exactly as its top-left 128 x 128 part.
TEST(RenderConsole, ExtraFontColumnsAndRowsAreIgnored) {
    auto small = RandomFontPixels(128, 128, 21);
    std::vector<uint8_t> big(130 * 130, 99);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            big[y * 130 + x] = small[y * 128 + x];
    std::mt19937 rng(5);
    RandomPlanes(rng);
    cursor_x = 3;
    cursor_y = 4;
    curgametick = 300;
    EnterScratchDir();
    WriteFile("font/font.bmp", MakeBmp(128, 128, small));
    s_initfont();
    Screen_Width = 320;
    Screen_Height = 240;
    RenderConsole();
    std::vector<uint8_t> first(scrbuf, scrbuf + kFrame);
    memset(scrbuf, 0, kFrame);
    WriteFile("font/font.bmp", MakeBmp(130, 130, big));
    s_initfont();
    ASSERT_EQ(charx, 8);
    RenderConsole();
    EXPECT_EQ(0, memcmp(first.data(), scrbuf, kFrame));
}

// Solid glyphs give solid cells; a cell with equal colours is one block;
// cells at column 40 or row 30 and beyond never reach the 8 x 8 screen.
TEST(RenderConsole, OpaqueCellsAndHiddenCells) {
    std::vector<uint8_t> px(128 * 128, 1); // 1 is the key: everything background
    for (int y = 0; y < 8; y++)
        for (int x = 8; x < 16; x++)
            px[y * 128 + x] = 2; // glyph 1 all ink
    EnterScratchDir();
    WriteFile("font/font.bmp", MakeBmp(128, 128, px));
    s_initfont();
    Screen_Width = 320;
    Screen_Height = 240;
    memset(scrbuf, 0x77, kFrame);
    for (int k = 0; k < 256; k++)
        for (int r = 0; r < 256; r++) {
            scch[k * 256 + r] = (uint8_t)((k + r) % 2);
            sccl[k * 256 + r] = (uint8_t)(k < 40 && r < 30 ? 10 + (k + r) % 2 : 0x77 + 1);
            sccb[k * 256 + r] = (uint8_t)(k < 40 && r < 30 ? 20 + (k + r) % 2 : 0x77 + 1);
        }
    curgametick = 0;
    RenderConsole();
    for (int py = 0; py < 240; py++)
        for (int px2 = 0; px2 < 320; px2++) {
            int k = px2 / 8, r = py / 8;
            uint8_t want = (k + r) % 2 ? 11 : 20; // glyph 1 ink in fg, glyph 0 bg
            ASSERT_EQ(scrbuf[py * 320 + px2], want);
        }
}

// The cursor shows for ticks 256..511 (mod 512) in the foreground colour of
// its cell, over the cell's own pixels, and only where its glyph has ink.
TEST(RenderConsole, CursorBlink) {
    LoadFont(128, 128, 31);
    memset(scch, 0, sizeof scch);
    memset(sccl, 0, sizeof sccl);
    memset(sccb, 0, sizeof sccb);
    cursor_x = 5;
    cursor_y = 7;
    sccl[5 * 256 + 7] = 42;
    sccb[5 * 256 + 7] = 43;
    const uint32_t ticks[] = {0, 255, 256, 511, 512, 767, 768, 1023, 0xFFFFFFFFu};
    for (uint32_t t : ticks) {
        curgametick = t;
        RenderConsole();
        bool shown = (t % 512) >= 256;
        int inkCount = 0;
        for (int j = 0; j < 8; j++)
            for (int i = 0; i < 8; i++) {
                bool cursorInk = fontdata[(40 + j) * 128 + 120 + i];
                bool cellInk = fontdata[j * 128 + i];
                uint8_t want = (shown && cursorInk) || cellInk ? 42 : 43;
                inkCount += shown && cursorInk;
                ASSERT_EQ(scrbuf[(56 + j) * 320 + 40 + i], want) << "tick " << t;
            }
        if (shown) {
            EXPECT_GT(inkCount, 0);
        }
    }
}

// A cursor cell straddling the right edge draws only its inside part, into
// the strip no cell paints, where it stays after the cursor goes out; one
// wholly outside draws nothing.
TEST(RenderConsole, CursorClipping) {
    LoadFont(192, 192, 41); // 12 x 12 glyphs: 26 columns, strip at 312..319
    std::mt19937 rng(7);
    RandomPlanes(rng);
    memset(scrbuf, 0, sizeof scrbuf);
    cursor_x = 26;
    cursor_y = 19;
    sccl[26 * 256 + 19] = 0xC4;
    curgametick = 256;
    RenderConsole();
    int drawn = 0;
    for (int j = 0; j < 12; j++)
        for (int i = 0; i < 12; i++) {
            bool ink = fontdata[(60 + j) * 192 + 180 + i];
            int px = 312 + i, py = 228 + j;
            if (px >= 320)
                continue;
            ASSERT_EQ(scrbuf[py * 320 + px], ink ? 0xC4 : 0);
            drawn += ink;
        }
    ASSERT_GT(drawn, 0);
    std::vector<uint8_t> strip(scrbuf, scrbuf + kFrame);
    curgametick = 0;
    RenderConsole();
    for (int py = 228; py < 240; py++)
        for (int px = 312; px < 320; px++)
            ASSERT_EQ(scrbuf[py * 320 + px], strip[py * 320 + px]);

    std::vector<uint8_t> before(scrbuf, scrbuf + sizeof scrbuf);
    cursor_x = 255;
    cursor_y = 255;
    curgametick = 256;
    RenderConsole();
    EXPECT_EQ(0, memcmp(before.data(), scrbuf, sizeof scrbuf));
}

// Without a font there is nothing to draw, and no division by zero.
TEST(RenderConsole, NoFontDrawsNothing) {
    Screen_Width = 320;
    Screen_Height = 240;
    memset(scrbuf, 0x33, kFrame);
    curgametick = 256;
    RenderConsole();
    for (int i = 0; i < kFrame; i++)
        ASSERT_EQ(scrbuf[i], 0x33);
}

// Font and sizes set by hand, with no font file loaded, draw like a loaded
// font: 8 x 8 glyphs, then 16 x 16 ones with fonty left at 0.
TEST(RenderConsole, HandSetFontMatchesReference) {
    std::mt19937 rng(51);
    for (int i = 0; i < 128 * 128; i++)
        fontdata[i] = (uint8_t)(rng() & 1);
    fontx = fonty = 128;
    charx = chary = 8;
    Screen_Width = 320;
    Screen_Height = 240;
    CheckFrames(52, 3);
    for (int i = 0; i < 65536; i++)
        fontdata[i] = (uint8_t)(rng() % 3 == 0);
    fontx = 256;
    fonty = 0;
    charx = chary = 16;
    CheckFrames(53, 3);
}

// A frame set by hand larger than scrbuf is painted where it fits: 1 x 1
// glyphs on a 10000 x 103 frame reach pixel 102 * 10000 + 254, inside scrbuf,
// although the whole frame would not fit. Pixels past scrbuf are skipped.
TEST(RenderConsole, FrameLargerThanTheBufferIsClipped) {
    memset(fontdata, 1, 16 * 16);
    fontx = fonty = 16;
    charx = chary = 1;
    Screen_Width = 10000;
    Screen_Height = 103;
    memset(sccl, 0x21, sizeof sccl);
    memset(scrbuf, 0, sizeof scrbuf);
    curgametick = 0;
    RenderConsole();
    EXPECT_EQ(scrbuf[0], 0x21);
    EXPECT_EQ(scrbuf[102 * 10000 + 254], 0x21);
    EXPECT_EQ(scrbuf[102 * 10000 + 255], 0);
    Screen_Height = 120; // rows 103..119 run past the end of scrbuf
    cursor_x = 254;
    cursor_y = 119;
    curgametick = 256;
    RenderConsole();
    EXPECT_EQ(scrbuf[101 * 10000 + 254], 0x21);
}

// Glyph sizes set by hand that reach past fontdata read the missing part as
// background instead of refusing the whole frame.
TEST(RenderConsole, GlyphsPastTheFontAreBackground) {
    memset(fontdata, 1, sizeof fontdata);
    fontx = 4080;
    charx = 255;
    chary = 16;
    Screen_Width = 320;
    Screen_Height = 240;
    memset(scch, 0, sizeof scch);
    memset(sccl, 7, sizeof sccl);
    memset(sccb, 9, sizeof sccb);
    scch[0 * 256 + 1] = 255; // glyph row 15 starts at 15 * 16 * 4080, past fontdata
    curgametick = 0;
    RenderConsole();
    EXPECT_EQ(scrbuf[0], 7);              // glyph 0, inside the font
    EXPECT_EQ(scrbuf[15 * 320 + 254], 7); // its last pixel, fontdata index 61454
    EXPECT_EQ(scrbuf[16 * 320], 9);       // glyph 255: background
    EXPECT_EQ(scrbuf[31 * 320 + 254], 9);

    // 5 x 4 glyphs 1039 bytes a font row apart: glyph 255's last pixel is
    // fontdata index 65536, one past the end; only that pixel is background.
    fontx = 1039;
    charx = 5;
    chary = 4;
    scch[0] = 255;
    RenderConsole();
    for (int j = 0; j < 4; j++)
        for (int i = 0; i < 5; i++)
            EXPECT_EQ(scrbuf[j * 320 + i], i == 4 && j == 3 ? 9 : 7) << i << "," << j;
}
