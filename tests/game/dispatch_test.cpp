// Frame dispatch and frame loop on a scripted clock and scripted controls:
// turn timing, the START button, menu frames, and the last frame of the loop.
#include <gtest/gtest.h>
#include <string.h>

#include "client/gameclient.h"
#include "console/render.h"
#include "console/sfont.h"
#include "game/gameloop.h"
#include "game/gameproc.h"
#include "menu/mainmenu.h"
#include "platform/internal.h"
#include "platform/platform.h"
#include "platform/scripted.h"
#include "support/testsupport.h"
#include "world/package.h"
#include "world/world.h"

namespace {

// Scripted platform with the built-in controls only, an 8 x 8 font cell
// size and the 320 x 240 frame.
void StartScripted() {
    StartScriptedPlatform();
    fontx = fonty = 128;
    charx = chary = 8;
}

TEST(Dispatch, TurnOnlyWhenMoreThanTheDelayPassed) {
    StartScripted();
    // From the start (lastgametick 0) the first turn comes above 500 ms.
    seam_tick = 0;
    Gameprocess();
    seam_tick = 500;
    Gameprocess();
    EXPECT_EQ(lastgametick, 0u);
    seam_tick = 501;
    Gameprocess();
    EXPECT_EQ(lastgametick, 501u);
    EXPECT_LE(turn, 1u);
    // Exactly 500 ms later: none; 501: one.
    seam_tick = 1001;
    Gameprocess();
    EXPECT_EQ(lastgametick, 501u);
    seam_tick = 1002;
    Gameprocess();
    EXPECT_EQ(lastgametick, 1002u);
    // A long frame gives one turn, and missed turns are not caught up.
    uint32_t turns = turn;
    seam_tick = 9000;
    Gameprocess();
    EXPECT_EQ(lastgametick, 9000u);
    EXPECT_LE(turn - turns, 1u);
    Gameprocess();
    EXPECT_LE(turn - turns, 1u);
    EXPECT_EQ(lastgametick, 9000u);
}

TEST(Dispatch, TickWrapsPastTwoToThe32) {
    StartScripted();
    lastgametick = 0xFFFFFF00u;
    seam_tick = 0xFFFFFFFFu;
    Gameprocess();
    EXPECT_EQ(lastgametick, 0xFFFFFF00u);
    seam_tick = 244; // 500 ms after the last turn
    Gameprocess();
    EXPECT_EQ(lastgametick, 0xFFFFFF00u);
    seam_tick = 245;
    Gameprocess();
    EXPECT_EQ(lastgametick, 245u);
    seam_tick = 746;
    Gameprocess();
    EXPECT_EQ(lastgametick, 746u);
}

TEST(Dispatch, StartHeldOpensTheMenuAndStopsTurns) {
    StartScripted();
    seam_button[0][8] = 1; // START
    seam_tick = 5000;
    Gameprocess();
    EXPECT_EQ(MainMenuEnabled, 1);
    EXPECT_EQ(lastgametick, 0u);
    EXPECT_EQ(turn, 0u);
    // While START is held, a cleared menu flag is set again at once.
    MainMenuEnabled = 0;
    seam_tick = 6000;
    Gameprocess();
    EXPECT_EQ(MainMenuEnabled, 1);
    EXPECT_EQ(lastgametick, 0u);
    // Released, the menu stays open until its first item closes it; the
    // turn clock kept running, so the first play frame runs a turn at once.
    seam_button[0][8] = 0;
    seam_tick = 7000;
    Gameprocess();
    EXPECT_EQ(MainMenuEnabled, 1);
    EXPECT_EQ(lastgametick, 0u);
    EXPECT_EQ(turn, 0u);
    MainMenuEnabled = 0;
    seam_tick = 7001;
    Gameprocess();
    EXPECT_EQ(lastgametick, 7001u);
}

TEST(Dispatch, ViewReadsThePackageOfItsOwnFrame) {
    StartScripted();
    seam_tick = 501;
    Gameprocess();
    seam_tick = 1002;
    Gameprocess();
    if (turn == 0)
        GTEST_SKIP() << "the server turn is not built yet";
    ASSERT_EQ(turn, 2u);
    int32_t packaged = PackageTurn(net_server_msg);
    EXPECT_EQ(playerturn[0], packaged);
    EXPECT_EQ(playerlastturn[0], packaged);
}

TEST(GameLoop, NoFrameWhenAlreadyEnded) {
    StartScripted();
    GameLoopEnabled = 0;
    GameLoop();
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(fps_done, 0);
}

TEST(GameLoop, FrameThatEndsTheLoopIsStillShownAndCounted) {
    StartScripted();
    memset(screen->pixels, 0x5A, (size_t)screen->pitch * screen->h);
    seam_quit = 1; // the window is closed
    seam_tick = 600;
    GameLoop();
    EXPECT_EQ(GameLoopEnabled, 0);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(fps_done, 1);
    EXPECT_EQ(tickcount, 600u);
    EXPECT_EQ(lastgametick, 600u); // the frame still ran its turn
    ASSERT_EQ(screen->pitch, 320);
    EXPECT_EQ(memcmp(screen->pixels, scrbuf, 320 * 240), 0);
}

} // namespace
