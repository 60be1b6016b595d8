// The window icon is drawn from the loaded font and palette exactly as the
// installed desktop icon was made.
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "console/sfont.h"
#include "headless/pngio.h"
#include "platform/window.h"
#include "client/palette.h"
#include "support/testsupport.h"

namespace {

TEST(WindowIcon, PlayerGlyphMatchesTheInstalledIcon) {
    ASSERT_EQ(chdir(DataDir().c_str()), 0);
    s_initfont();
    LoadPalette();
    std::vector<uint8_t> icon(WINDOW_ICON_SIDE * WINDOW_ICON_SIDE * 3, 0xEE);
    ASSERT_TRUE(DrawGlyphIcon(icon.data(), WINDOW_ICON_GLYPH));
    std::vector<uint8_t> installed;
    uint32_t width, height;
    std::string err;
    ASSERT_TRUE(
        ReadPngRgb(DataDir() + "/../desktop/marrowdigger.png", installed, width, height, err))
        << err;
    ASSERT_EQ(width, (uint32_t)WINDOW_ICON_SIDE);
    ASSERT_EQ(height, (uint32_t)WINDOW_ICON_SIDE);
    EXPECT_TRUE(icon == installed);
    // A glyph without ink (the blank) draws nothing.
    std::vector<uint8_t> blank(icon.size(), 0xEE);
    EXPECT_FALSE(DrawGlyphIcon(blank.data(), ' '));
    EXPECT_EQ(blank, std::vector<uint8_t>(icon.size(), 0xEE));
}

// The drivers SDL falls back to without a display (SDL2's through
// sdl12-compat, classic SDL's text art) count as none, in any case.
TEST(VideoDriver, OnlyDriversThatShowAPictureCountAsADisplay) {
    for (const char *unseen : {"dummy", "offscreen", "evdev", "caca", "aalib", "AAlib", ""})
        EXPECT_FALSE(VideoDriverIsReal(unseen)) << unseen;
    EXPECT_FALSE(VideoDriverIsReal(nullptr));
    for (const char *seen : {"x11", "wayland", "KMSDRM", "fbcon", "directfb"})
        EXPECT_TRUE(VideoDriverIsReal(seen)) << seen;
}

} // namespace
