// Word-at-a-time painting against the pixel-by-pixel renderer it replaced,
// on random cell grids, fonts of any content, glyph and frame sizes set by
// hand, and cursors anywhere.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "console/render.h"
#include "console/renderref.h"
#include "console/sfont.h"
#include "support/testsupport.h"
#include "world/world.h"

// Random bytes into a buffer, eight at a time.
static void Fill(std::mt19937_64 &rng, uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; i += 8) {
        uint64_t v = rng();
        memcpy(p + i, &v, n - i < 8 ? n - i : 8);
    }
}

// Font bytes: mostly 0 and 1 as the loader writes them, and any other value,
// since any non-zero byte is ink.
static void RandomFont(std::mt19937_64 &rng) {
    const unsigned density = (unsigned)(rng() % 4);
    for (size_t i = 0; i < sizeof fontdata; i++) {
        uint64_t v = rng();
        if (v % 4 < density)
            fontdata[i] = 0;
        else
            fontdata[i] = (v >> 8) % 3 ? 1 : (uint8_t)(v >> 16);
    }
}

// One random case: sizes, planes, cursor and tick.
static void RandomCase(std::mt19937_64 &rng, int kind) {
    Screen_Width = 320;
    Screen_Height = 240;
    if (kind == 0) { // the common case, fonts as loaded
        charx = chary = rng() % 2 ? 8 : 16;
        fontx = (uint16_t)(16 * charx);
        fonty = (uint16_t)(16 * chary);
    } else if (kind == 1) { // 8 or 16 wide, any height, font rows of any width
        charx = rng() % 2 ? 8 : 16;
        chary = (uint16_t)(1 + rng() % 20);
        fontx = (uint16_t)(16 * charx + rng() % 9 - (rng() % 3 ? 0 : 16 * charx - 1));
    } else if (kind == 2) { // odd glyph sizes
        charx = (uint16_t)(1 + rng() % 24);
        chary = (uint16_t)(1 + rng() % 24);
        fontx = (uint16_t)(16 * charx + rng() % 5);
    } else { // frames of any size, some past scrbuf, some past the column cap
        charx = rng() % 3 ? (rng() % 2 ? 8 : 16) : (uint16_t)(1 + rng() % 16);
        chary = (uint16_t)(1 + rng() % 16);
        fontx = (uint16_t)(16 * charx + (rng() % 2 ? 0 : rng() % 7));
        Screen_Width = (uint16_t)(1 + rng() % (rng() % 4 ? 700 : 65535));
        Screen_Height = (uint16_t)(1 + rng() % (rng() % 4 ? 500 : 5000));
    }
    if (rng() % 16 == 0)
        fontx = (uint16_t)(fontx * 8); // glyph rows past fontdata
    fonty = (uint16_t)(16 * chary);
    Fill(rng, scch, sizeof scch);
    Fill(rng, sccl, sizeof sccl);
    Fill(rng, sccb, sizeof sccb);
    if (rng() % 8 == 0)
        memset(sccb, sccl[0], sizeof sccb); // equal colours: solid blocks
    cursor_x = (uint8_t)(rng() % 4 ? rng() % 48 : rng());
    cursor_y = (uint8_t)(rng() % 4 ? rng() % 36 : rng());
    curgametick = (uint32_t)rng();
}

// Renders the current case with the reference and with both fast paths over
// the same random frame; the frame and the bytes after it must agree.
static void CheckCase(std::mt19937_64 &rng, std::vector<uint8_t> &before,
                      std::vector<uint8_t> &want, int at) {
    size_t n = (size_t)Screen_Width * Screen_Height + 4096;
    if (n > sizeof scrbuf)
        n = sizeof scrbuf;
    before.resize(n);
    Fill(rng, before.data(), n);
    memcpy(scrbuf, before.data(), n);
    ReferenceRenderConsole();
    want.assign(scrbuf, scrbuf + n);
    static const char *const names[3] = {"fastest", "SSE2", "word"};
    for (int p = PAINT_FASTEST; p <= PAINT_WORDS; p++) {
        memcpy(scrbuf, before.data(), n);
        render_paint = (uint8_t)p;
        RenderConsole();
        render_paint = PAINT_FASTEST;
        if (memcmp(scrbuf, want.data(), n) == 0)
            continue;
        size_t i = 0;
        while (scrbuf[i] == want[i])
            i++;
        FAIL() << names[p] << " painting, case " << at << ": byte " << i << " (x "
               << i % Screen_Width << ", y " << i / Screen_Width << ") is " << (int)scrbuf[i]
               << ", want " << (int)want[i] << "; glyph " << charx << "x" << chary << ", font "
               << fontx << " wide, frame " << Screen_Width << "x" << Screen_Height << ", cursor "
               << (int)cursor_x << "," << (int)cursor_y;
    }
}

static void CheckMany(unsigned seed, int kind, int cases) {
    std::mt19937_64 rng(seed);
    std::vector<uint8_t> before, want;
    RandomFont(rng);
    for (int i = 0; i < cases; i++) {
        if (i % 50 == 0)
            RandomFont(rng);
        RandomCase(rng, kind);
        CheckCase(rng, before, want, i);
        if (::testing::Test::HasFailure())
            return;
    }
}

TEST(RenderFast, LoadedFontSizesMatchTheReference) {
    CheckMany(101, 0, RandomCases(600));
}

TEST(RenderFast, AnyGlyphHeightAndFontWidthMatchTheReference) {
    CheckMany(102, 1, RandomCases(300));
}

TEST(RenderFast, OddGlyphSizesMatchTheReference) {
    CheckMany(103, 2, RandomCases(200));
}

TEST(RenderFast, FramesOfAnySizeMatchTheReference) {
    CheckMany(104, 3, RandomCases(60));
}

// Nothing past the frame is touched: a full 8 x 8 frame leaves every byte
// after pixel 76,799 as it was, and the last painted byte is the frame's.
TEST(RenderFast, StopsAtTheEndOfTheFrame) {
    std::mt19937_64 rng(105);
    RandomFont(rng);
    RandomCase(rng, 0);
    charx = chary = 8;
    fontx = 128;
    curgametick = 0;
    memset(scrbuf, 0x5A, sizeof scrbuf);
    memset(sccl, 0x11, sizeof sccl);
    memset(sccb, 0x22, sizeof sccb);
    for (uint8_t p : {PAINT_FASTEST, PAINT_SSE2, PAINT_WORDS}) {
        render_paint = p;
        RenderConsole();
        EXPECT_NE(scrbuf[76799], 0x5A);
        for (size_t i = 76800; i < sizeof scrbuf; i++)
            ASSERT_EQ(scrbuf[i], 0x5A) << i;
    }
}
