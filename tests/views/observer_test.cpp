// Observer view: window, scrolling, outside-the-level rule and status line.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "console/render.h"
#include "console/sfont.h"
#include "platform/platform.h"
#include "resources/tiles.h"
#include "views/observer.h"
#include "world/gameserver.h"
#include "world/serverhelpers.h"
#include "world/world.h"

// The status row's text: its characters from column 0 while they carry
// the status colour 1.
static std::string StatusText(int row) {
    std::string s;
    for (int k = 0; k < 256 && sccl[k * 256 + row] == 1; k++)
        s += (char)scch[k * 256 + row];
    return s;
}

// A 320 x 240 screen of 8 x 8 cells: 40 columns, 29 map rows, status row 29.
static void Screen8x8() {
    Screen_Width = 320;
    Screen_Height = 240;
    charx = chary = 8;
    controlpad[0].dir = 255;
}

TEST(Observer, StatusLineBeforeAndAfterTheFirstTurn) {
    Screen8x8();
    OpenLevel(40, 30);
    clientplayers = 0;
    for (int k = 4; k < 50; k++)
        PutCreature(k, 22, 14, 0, 0);
    memset(sccb, 9, sizeof sccb);
    RenderServer();
    EXPECT_EQ(StatusText(29), "OnLine: 0 Npc: 0 Lvl: 0");
    ProcGameServer();
    RenderServer();
    EXPECT_EQ(StatusText(29), "OnLine: 0 Npc: 46 Lvl: 0");
    EXPECT_EQ(sccb[0], 9); // background never written
    EXPECT_EQ(cursor_x, 0);
}

TEST(Observer, ShorterStatusLeavesTheOldTail) {
    Screen8x8();
    npcs = 1000;
    RenderServer();
    npcs = 5;
    RenderServer();
    EXPECT_EQ(StatusText(29), "OnLine: 0 Npc: 5 Lvl: 0: 0");
}

TEST(Observer, WindowShowsTilesAndMarkedCreatures) {
    Screen8x8();
    OpenLevel(40, 30);
    PutTile(0, 0, 1, 5, '#', 7);
    PutTile(3, 2, 2, 0, '.', 2);
    PutCreature(4, 3, 2);
    npc_char[4] = 'w', npc_color[4] = 15;
    RenderServer();
    EXPECT_EQ(scch[0], '#');
    EXPECT_EQ(sccl[0], 7);
    EXPECT_EQ(scch[3 * 256 + 2], '.'); // no mark yet: the tile shows
    npc_vis[CELL(3, 2, 0)] = 5;
    RenderServer();
    EXPECT_EQ(scch[3 * 256 + 2], 'w');
    EXPECT_EQ(sccl[3 * 256 + 2], 15);
}

TEST(Observer, ScrollingIsUnclampedAndOffLevelCellsLoseOnlyColour) {
    Screen8x8();
    OpenLevel(40, 30);
    tilechar[0] = '.';
    tilecolor[0] = 2;
    PutTile(0, 0, 1, 5, '#', 7);
    memset(scch, 'Q', sizeof scch);
    memset(sccl, 4, sizeof sccl);
    controlpad[0].dir = 7; // up-left
    RenderServer();
    EXPECT_EQ(servercamerax, -1);
    EXPECT_EQ(servercameray, -1);
    const int off[3] = {0, 5 * 256, 5};
    for (int c : off) {
        EXPECT_EQ(scch[c], 'Q');
        EXPECT_EQ(sccl[c], 0);
    }
    EXPECT_EQ(scch[1 * 256 + 1], '#');
    EXPECT_EQ(sccl[1 * 256 + 1], 7);
    EXPECT_EQ(scch[39 * 256 + 28], '.');
    EXPECT_EQ(sccl[39 * 256 + 28], 2);
    controlpad[0].dir = 3; // down-right: both axes in one frame
    RenderServer();
    RenderServer();
    EXPECT_EQ(servercamerax, 1);
    EXPECT_EQ(servercameray, 1);
    controlpad[0].dir = 8; // not a direction code
    RenderServer();
    EXPECT_EQ(servercamerax, 1);
    EXPECT_EQ(servercameray, 1);
    servercamerax = -500;
    controlpad[0].dir = 6;
    RenderServer();
    EXPECT_EQ(servercamerax, -501);
    EXPECT_EQ(sccl[39 * 256 + 28], 0);
    EXPECT_EQ(scch[39 * 256 + 28], '.');
}

TEST(Observer, AnyGridSizeStaysInsideThePlanes) {
    Screen8x8();
    OpenLevel(128, 128);
    charx = 0; // no font: nothing to draw, no division
    memset(sccl, 4, sizeof sccl);
    RenderServer();
    EXPECT_EQ(sccl[0], 4);
    charx = chary = 1; // 320 columns capped at 255 like the renderer, 240 rows
    RenderServer();
    EXPECT_EQ(sccl[254 * 256], 0);
    EXPECT_EQ(sccl[255 * 256], 4);
    EXPECT_EQ(StatusText(239), "OnLine: 0 Npc: 0 Lvl: 0");
    Screen_Height = 600; // rows capped at 255 too: the status row is row 254
    RenderServer();
    EXPECT_EQ(StatusText(254), "OnLine: 0 Npc: 0 Lvl: 0");
    EXPECT_EQ(sccl[253], 0);
    EXPECT_EQ(sccl[255], 4);
    Screen_Height = 240;
    chary = 200; // a single row: no window and no status line
    memset(scch, 'Q', sizeof scch);
    RenderServer();
    EXPECT_EQ(scch[0], 'Q');
}

// A window of exactly 256 columns fits the planes: its last column is drawn.
TEST(Observer, WindowIsCappedAt255ColumnsLikeTheRenderer) {
    Screen8x8();
    OpenLevel(128, 128);
    Screen_Width = 256;
    charx = 1;
    PutTile(126, 0, 3, 0, '%', 5);
    PutTile(127, 0, 4, 0, '&', 6);
    memset(scch, '?', sizeof scch);
    memset(sccl, 4, sizeof sccl);
    servercamerax = -128; // column 254 shows x = 126, column 255 would show x = 127
    RenderServer();
    EXPECT_EQ(sccl[127 * 256], 0);
    EXPECT_EQ(scch[254 * 256], '%');
    EXPECT_EQ(sccl[254 * 256], 5);
    EXPECT_EQ(scch[255 * 256], '?'); // the 256th column is never drawn
    EXPECT_EQ(sccl[255 * 256], 4);
}

TEST(Observer, LevelOutsideTheWorldShowsNothing) {
    Screen8x8();
    OpenLevel(40, 30);
    memset(sccl, 4, sizeof sccl);
    ServerViewLevel = 150;
    RenderServer();
    EXPECT_EQ(sccl[0], 0);
    EXPECT_EQ(StatusText(29), "OnLine: 0 Npc: 0 Lvl: 150");
    ServerViewLevel = -1;
    RenderServer();
    EXPECT_EQ(sccl[3 * 256 + 3], 0);
}
