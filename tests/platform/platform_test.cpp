// Display hand-over, palette, tick, frame-rate counter, sound channel,
// handheld detection and the memory timing writes (on a fake window).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "console/render.h"
#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/ramhack.h"
#include "platform/scripted.h"
#include "support/testsupport.h"

namespace {

TEST(Display, ModeAndBlockCopy) {
    StartScriptedPlatform();
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->w, 320);
    EXPECT_EQ(screen->h, 240);
    EXPECT_EQ(screen->format->BitsPerPixel, 8);
    for (int i = 0; i < 320 * 240; i++)
        scrbuf[i] = (uint8_t)(i * 7 + i / 320);
    scrbuf[320 * 240] = 0xEE; // beyond the frame: never shown
    Platform_UpdateScreen();
    ASSERT_EQ(screen->pitch, 320);
    EXPECT_EQ(memcmp(screen->pixels, scrbuf, 320 * 240), 0);
}

TEST(Display, RowByRowWhenRowsAreWider) {
    StartScriptedPlatform();
    SDL_Surface *display = screen;
    SDL_Surface *wide = SDL_CreateRGBSurface(SDL_SWSURFACE, 322, 240, 8, 0, 0, 0, 0);
    ASSERT_NE(wide, nullptr);
    ASSERT_NE(wide->pitch, 320);
    memset(wide->pixels, 0xAA, (size_t)wide->pitch * wide->h);
    for (int i = 0; i < 320 * 240; i++)
        scrbuf[i] = (uint8_t)(i % 251);
    screen = wide;
    Platform_UpdateScreen();
    screen = display;
    const uint8_t *pixels = (const uint8_t *)wide->pixels;
    for (int y = 0; y < 240; y++) {
        ASSERT_EQ(memcmp(pixels + y * wide->pitch, scrbuf + y * 320, 320), 0) << "row " << y;
        EXPECT_EQ(pixels[y * wide->pitch + 320], 0xAA) << "row " << y;
        EXPECT_EQ(pixels[y * wide->pitch + 321], 0xAA) << "row " << y;
    }
    SDL_FreeSurface(wide);
}

// Rows 320 bytes apart take Screen_Width x Screen_Height bytes as one block,
// whatever Screen_Width says; the rest of the surface is left alone.
TEST(Display, BlockCopyFollowsTheFrameSize) {
    StartScriptedPlatform();
    ASSERT_EQ(screen->pitch, 320);
    memset(screen->pixels, 0xAA, 320 * 240);
    for (int i = 0; i < 320 * 240; i++)
        scrbuf[i] = (uint8_t)(i % 253);
    Screen_Width = 256;
    Platform_UpdateScreen();
    const uint8_t *pixels = (const uint8_t *)screen->pixels;
    EXPECT_EQ(memcmp(pixels, scrbuf, 256 * 240), 0);
    EXPECT_EQ(pixels[256 * 240], 0xAA);
    EXPECT_EQ(pixels[320 * 240 - 1], 0xAA);
    // A frame larger than the surface is cut to it.
    Screen_Width = 640;
    Screen_Height = 480;
    Platform_UpdateScreen();
    EXPECT_EQ(memcmp(pixels, scrbuf, 320 * 240), 0);
}

TEST(Display, NothingBeforeStartUp) {
    // Loaders may hand over a palette or a frame before the display exists.
    Platform_UpdatePalette();
    Platform_UpdateScreen();
    EXPECT_EQ(screen, nullptr);
}

TEST(Display, PaletteHandOver) {
    StartScriptedPlatform();
    for (int i = 0; i < 256 * 3; i++)
        palette[i] = (uint8_t)(i * 13);
    Platform_UpdatePalette();
    const SDL_Color *colors = screen->format->palette->colors;
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(colors[i].r, palette[3 * i]) << i;
        EXPECT_EQ(colors[i].g, palette[3 * i + 1]) << i;
        EXPECT_EQ(colors[i].b, palette[3 * i + 2]) << i;
    }
}

TEST(DisplayDeathTest, NoDisplayIsOneLineAndExitOne) {
    EXPECT_EXIT(
        {
            setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
            Platform_Init();
        },
        testing::ExitedWithCode(1), "cannot open the 320x240 display");
}

TEST(Timing, TickAndFrameRate) {
    seam_tick = 123456;
    EXPECT_EQ(Platform_Tick(), 123456u);

    // Frames during the first second leave fps at 0.
    for (uint32_t t = 0; t <= 1000; t += 100) {
        seam_tick = t;
        Platform_FpsCounter();
        EXPECT_EQ(fps, 0);
        EXPECT_EQ(tickcount, t);
    }
    EXPECT_EQ(fps_done, 11);
    seam_tick = 1001;
    Platform_FpsCounter();
    EXPECT_EQ(fps, 12);
    EXPECT_EQ(fps_done, 0);
    EXPECT_EQ(tickcount2, 1001u);
    // The next period counts from 1001 and closes only past 2001, across a
    // wrap of the tick as well.
    seam_tick = 2001;
    Platform_FpsCounter();
    EXPECT_EQ(fps, 12);
    seam_tick = 2002;
    Platform_FpsCounter();
    EXPECT_EQ(fps, 2);
    tickcount2 = 0xFFFFFF00u;
    seam_tick = 0x10;
    Platform_FpsCounter();
    seam_tick = 0x2E8; // 1000 ms after the period began
    Platform_FpsCounter();
    EXPECT_EQ(fps, 2);
    seam_tick = 0x2E9;
    Platform_FpsCounter();
    EXPECT_EQ(fps, 3);
    EXPECT_EQ(tickcount2, 0x2E9u);
}

TEST(Sound, ChannelCyclesOneTwo) {
    EXPECT_EQ(s_channel, 1);
    const uint8_t expected[5] = {2, 1, 2, 1, 2};
    for (int i = 0; i < 5; i++) {
        Platform_PlaySound(7, 1, 2);
        EXPECT_EQ(s_channel, expected[i]);
    }
    Platform_SoundVolume(50);
    EXPECT_EQ(s_channel, 2);
}

TEST(Handheld, NotDetectedHere) {
    EXPECT_FALSE(Platform_IsHandheld());
    RamHack();
    EXPECT_EQ(MEM_REG, nullptr);
    EXPECT_EQ(gp2x_dev, 0);
}

TEST(Handheld, CpuInfoCore) {
    EnterScratchDir();
    WriteFile("gp2x", "Processor\t: ARM920Tid(wb) rev 0 (v4l)\nBogoMIPS\t: 199.47\n");
    WriteFile("pc", "processor\t: 0\nmodel name\t: Some x86 CPU\n");
    EXPECT_TRUE(CpuInfoNamesHandheldCore("gp2x"));
    EXPECT_FALSE(CpuInfoNamesHandheldCore("pc"));
    EXPECT_FALSE(CpuInfoNamesHandheldCore("missing"));
}

TEST(Handheld, TimingRegisterValues) {
    static uint16_t window[0x8000];
    for (int i = 0; i < 0x8000; i++)
        window[i] = (uint16_t)(0x1234 + i);
    window[0x3804 / 2] = 0xABCD;
    window[0x3802 / 2] = 0xFFFF;
    RamHackRegisters(window);
    EXPECT_EQ(window[0x3804 / 2], 0xA530);
    EXPECT_EQ(window[0x3802 / 2], 0x0011);
    for (int i = 0; i < 0x8000; i++) {
        if (i != 0x3804 / 2 && i != 0x3802 / 2) {
            ASSERT_EQ(window[i], (uint16_t)(0x1234 + i)) << i;
        }
    }
    window[0x3804 / 2] = 0x0000;
    window[0x3802 / 2] = 0x0000;
    RamHackRegisters(window);
    EXPECT_EQ(window[0x3804 / 2], 0x0530);
    EXPECT_EQ(window[0x3802 / 2], 0x0011);
}

TEST(Handheld, ShutDownReturnsWithoutTheMenuProgram) {
    if (access("/usr/gp2x/gp2xmenu", X_OK) == 0)
        GTEST_SKIP() << "the console's menu program is installed here";
    StartScriptedPlatform();
    Platform_ShutDown();
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

} // namespace
