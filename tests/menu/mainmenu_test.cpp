// Main menu: layout, background, selection, delay and actions.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "console/render.h"
#include "console/sfont.h"
#include "math/zmath.h"
#include "menu/mainmenu.h"
#include "platform/platform.h"
#include "platform/scripted.h"
#include "resources/strings.h"

namespace {

const char kTitle[] = "MARROWDIGGER ONLINE (alpha)";

// 40 x 30 grid, the item names in string slots 0..4, no input, clock at t.
void SetUp40x30(uint32_t t = 0) {
    Screen_Width = 320;
    Screen_Height = 240;
    charx = chary = 8;
    for (int i = 0; i < 5; i++)
        strcpy(str_item[i], menuitem[i]);
    seam_tick = t;
    controlpad[0].newdir = 255;
    controlpad[0].dir = 255;
}

// One menu frame with the given input; the frame counter advances as the loop does.
void Frame(uint8_t newdir = 255, uint8_t press = 0, uint32_t t = 0) {
    controlpad[0].newdir = newdir;
    controlpad[0].pressed[0] = press;
    seam_tick = t;
    ProcMainMenu();
    count++;
}

std::string Row(int r, int from, int len) {
    std::string s;
    for (int k = from; k < from + len; k++)
        s += (char)scch[k * 256 + r];
    return s;
}

} // namespace

TEST(MainMenu, LayoutOn40x30) {
    SetUp40x30();
    Frame();
    EXPECT_EQ(Row(1, 2, 27), kTitle);
    EXPECT_EQ(sccl[2 * 256 + 1], 3); // travelling letter at count 0
    for (int k = 3; k <= 28; k++)
        EXPECT_EQ(sccl[k * 256 + 1], 1);
    for (int j = 0; j < 16; j++) {
        EXPECT_GE(scch[(24 + j) * 256 + 29], 32);
        EXPECT_EQ(sccl[(24 + j) * 256 + 29], 9);
    }
    EXPECT_EQ(sccb[24 * 256 + 29], 0); // the wave's background stays under the text
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(Row(21 + i, 21, 19), menuitem[i]);
        EXPECT_EQ(scch[20 * 256 + 21 + i] & 0xFE, 176); // left of the label: background
    }
    // Selected item 0 on the start of the ramp; others darker with distance.
    EXPECT_EQ(sccl[21 * 256 + 21], 1);
    EXPECT_EQ(sccb[21 * 256 + 21], 8);
    const uint8_t fg[5] = {1, 50, 98, 146, 194};
    for (int i = 1; i < 5; i++) {
        EXPECT_EQ(sccl[30 * 256 + 21 + i], fg[i]);
        EXPECT_EQ(sccb[30 * 256 + 21 + i], 0);
    }
    EXPECT_EQ(cursor_x, 39);
    EXPECT_EQ(cursor_y, 29);
}

TEST(MainMenu, AnimatedBackground) {
    SetUp40x30();
    rnd_seed = 0;
    count = 6;
    Frame();
    EXPECT_EQ(rnd_seed, 1200 % 1024); // one draw per cell
    // Drawn row by row: cell (1, 0) took the second draw, (0, 1) the 41st.
    EXPECT_EQ(scch[1 * 256 + 0], 176 + (table_rnd[1] & 1));
    EXPECT_EQ(scch[0 * 256 + 1], 176 + (table_rnd[40] & 1));
    EXPECT_EQ(scch[39 * 256 + 20], 176 + (table_rnd[20 * 40 + 39] & 1));
    // Wave shade (count / 2 + k / 2 + r / 4) % 16 of base colour 8.
    EXPECT_EQ(sccl[0 * 256 + 0], 3 * 16 + 8);
    EXPECT_EQ(sccl[5 * 256 + 9], (3 + 2 + 2) * 16 + 8);
    EXPECT_EQ(sccl[39 * 256 + 20], (3 + 19 + 5) % 16 * 16 + 8);
    EXPECT_EQ(sccb[39 * 256 + 20], 0);
    // Selected label's ramp: (count / 4) % 16 with count 6.
    EXPECT_EQ(sccb[21 * 256 + 21], 1 * 16 + 8);
}

TEST(MainMenu, TravellingLetter) {
    SetUp40x30();
    for (uint32_t c : {0u, 54u, 2u, 53u}) {
        count = c;
        ProcMainMenu();
        int at = 2 + (int)((c / 2) % 27);
        for (int k = 2; k <= 28; k++)
            EXPECT_EQ(sccl[k * 256 + 1], k == at ? 3 : 1) << c << " " << k;
    }
    count = 54;
    ProcMainMenu();
    EXPECT_EQ(sccl[2 * 256 + 1], 3);
}

TEST(MainMenu, SelectionWrapsAndMovesOncePerChange) {
    SetUp40x30();
    Frame(0); // up from item 0
    EXPECT_EQ(menucursor, 4);
    controlpad[0].dir = 0; // held: the pad reports no new direction
    Frame();
    Frame();
    EXPECT_EQ(menucursor, 4);
    Frame(4); // down from item 4
    EXPECT_EQ(menucursor, 0);
    Frame(4);
    EXPECT_EQ(menucursor, 1);
    Frame(0); // up from item 1: item 0, no wrap
    EXPECT_EQ(menucursor, 0);
    Frame(4);
    EXPECT_EQ(menucursor, 1);
    for (uint8_t d : {1, 2, 3, 5, 6, 7})
        Frame(d);
    EXPECT_EQ(menucursor, 1);
    EXPECT_EQ(ms_menudelay, 0);

    // Direction and press in the same frame: move first, then choose.
    Frame(4, 1, 100);
    EXPECT_EQ(menucursor, 2);
    EXPECT_EQ(ms_menudelay, 1000);
    // While pending, input is ignored.
    Frame(0, 1, 100);
    EXPECT_EQ(menucursor, 2);
    EXPECT_EQ(ms_menudelay, 1000);
}

TEST(MainMenu, FadeDarkensForegroundOnly) {
    SetUp40x30();
    ms_menudelay = 500;
    lasttick = 0;
    rnd_seed = 7;
    const uint8_t before[] = {0, 8, 239, 240, 255};
    for (int i = 0; i < 5; i++) {
        sccl[i * 256 + 10] = before[i];
        scch[i * 256 + 10] = (uint8_t)(100 + i);
        sccb[i * 256 + 10] = 33;
    }
    count = 5;
    Frame();
    const uint8_t after[] = {16, 24, 255, 240, 255};
    for (int i = 0; i < 5; i++) {
        EXPECT_EQ(sccl[i * 256 + 10], after[i]);
        EXPECT_EQ(scch[i * 256 + 10], 100 + i);
        EXPECT_EQ(sccb[i * 256 + 10], 33);
    }
    EXPECT_EQ(rnd_seed, 7);
    EXPECT_EQ(sccb[21 * 256 + 21], 0); // pending: label flashes, (5 / 2) % 2 = 0
    count = 6;
    Frame();
    EXPECT_EQ(sccb[21 * 256 + 21], 1);
}

// The delay counts the real time between menu frames and acts at the first
// frame at which 1000 ms have gone by.
TEST(MainMenu, DelayInMenuTimeThenAct) {
    SetUp40x30();
    MainMenuEnabled = 1;
    Frame(255, 1, 5000);
    EXPECT_EQ(ms_menudelay, 1000);
    Frame(255, 0, 5400);
    EXPECT_EQ(ms_menudelay, 600);
    Frame(255, 0, 5999);
    EXPECT_EQ(ms_menudelay, 1);
    EXPECT_EQ(MainMenuEnabled, 1);
    Frame(255, 0, 6003);
    EXPECT_EQ(ms_menudelay, -3);
    EXPECT_EQ(MainMenuEnabled, 0);
    EXPECT_EQ(GameLoopEnabled, 1);
    EXPECT_EQ(lasttick, 6003u);

    // Reopened much later: the negative delay fades once, then is reset;
    // the frame after, the background animates again.
    MainMenuEnabled = 1;
    sccl[10 * 256 + 10] = 8;
    uint16_t seed = rnd_seed;
    Frame(255, 0, 90000);
    EXPECT_EQ(sccl[10 * 256 + 10], 24);
    EXPECT_EQ(rnd_seed, seed);
    EXPECT_EQ(ms_menudelay, 0);
    Frame(255, 0, 90010);
    EXPECT_EQ(rnd_seed, (seed + 1200) % 1024);
}

TEST(MainMenu, ActionsOfEachItem) {
    for (int item = 0; item < 5; item++) {
        SetUp40x30();
        MainMenuEnabled = 1;
        GameLoopEnabled = 1;
        menucursor = (int8_t)item;
        Frame(255, 1, 100);
        Frame(255, 0, 1100);
        EXPECT_EQ(MainMenuEnabled, item == 0 ? 0 : 1) << item;
        EXPECT_EQ(GameLoopEnabled, item == 4 ? 0 : 1) << item;
        EXPECT_EQ(menucursor, item);
        ms_menudelay = 0;
    }
}

// Grids the layout does not fit: what lands off the visible grid but on the
// planes is written there as on any grid, only what lands off the planes is
// left out.
TEST(MainMenu, SmallAndLargeGrids) {
    SetUp40x30();
    memset(scch, 0x77, sizeof scch);
    rnd_seed = 0;
    charx = chary = 1; // 320 columns, capped at 255 like the renderer; 240 rows
    Frame();
    EXPECT_EQ(rnd_seed, 255 * 240 % 1024);
    EXPECT_EQ(Row(240 - 9, 236, 19), menuitem[0]);
    EXPECT_EQ(sccl[254 * 256 + 239], 9);
    EXPECT_EQ(cursor_x, 254);
    EXPECT_EQ(cursor_y, 239);
    for (int c = 0; c < 256; c++)
        EXPECT_EQ(scch[c * 256 + 240], 0x77) << c;
    for (int r = 0; r < 256; r++)
        EXPECT_EQ(scch[255 * 256 + r], 0x77) << r; // the 256th column is never drawn

    // 16 columns: the title runs on past the grid's edge, off screen; the
    // 19-character labels do not fit and are skipped.
    memset(scch, 0x77, sizeof scch);
    charx = 20;
    chary = 8;
    Frame();
    EXPECT_EQ(Row(1, 2, 27), kTitle);
    EXPECT_EQ(sccl[16 * 256 + 1], 1);
    EXPECT_EQ(scch[0 * 256 + 21] & 0xFE, 176);
    EXPECT_EQ(scch[15 * 256 + 21] & 0xFE, 176);
    EXPECT_EQ(sccl[0 * 256 + 29], 9);

    // One row: the background and the credit line on it, the title on the
    // row below, off screen; the labels' rows lie above the planes.
    memset(scch, 0x77, sizeof scch);
    charx = 8;
    chary = 130;
    Frame();
    EXPECT_EQ(scch[2 * 256 + 0] & 0xFE, 176);
    EXPECT_EQ(scch[2 * 256 + 1], 'M');
    EXPECT_EQ(sccl[39 * 256 + 0], 9);
    EXPECT_EQ(cursor_y, 0);
    for (int c = 0; c < 256; c++)
        for (int r = 2; r < 256; r++)
            ASSERT_EQ(scch[c * 256 + r], 0x77) << c << "," << r;

    // A label longer than the grid is skipped; an empty one draws nothing;
    // a zero cell size draws nothing at all.
    charx = chary = 8;
    str_item[1][0] = 0;
    memset(str_item[2], 'A', 63);
    Frame();
    EXPECT_EQ(scch[39 * 256 + 22] & 0xFE, 176);
    EXPECT_EQ(scch[0 * 256 + 23] & 0xFE, 176);
    EXPECT_EQ(scch[39 * 256 + 23] & 0xFE, 176);
    memset(str_item[3], 'B', 64); // no terminator in the slot
    memset(scch, 0x77, sizeof scch);
    chary = 0;
    Frame();
    for (int i = 0; i < CON_CELLS; i++)
        ASSERT_EQ(scch[i], 0x77) << i;
}

// Cells too tall for a single row: no row at all. The title still goes to its
// row on the planes, nothing lands on row -1, and the cursor's row byte wraps
// to 255, off screen, instead of sitting on the top row.
TEST(MainMenu, NoRowAtAll) {
    SetUp40x30();
    memset(scch, 0x77, sizeof scch);
    chary = 241;
    Frame();
    EXPECT_EQ(Row(1, 2, 27), kTitle);
    EXPECT_EQ(cursor_x, 39);
    EXPECT_EQ(cursor_y, 255);
    for (int c = 0; c < 256; c++)
        EXPECT_EQ(scch[c * 256 + 255], 0x77) << c;
    EXPECT_EQ(scch[0], 0x77); // no background either
}

// A 16 x 16-pixel glyph cell gives 20 x 15 cells: the travelling letter also
// moves over the title's columns past the screen's edge, on the planes.
TEST(MainMenu, TwentyColumnsKeepTheWholeTitleOnThePlanes) {
    SetUp40x30();
    charx = chary = 16;
    count = 2 * 25; // letter on title position 25, column 27
    Frame();
    EXPECT_EQ(Row(1, 2, 27), kTitle);
    EXPECT_EQ(sccl[27 * 256 + 1], 3);
    EXPECT_EQ(sccl[26 * 256 + 1], 1);
    EXPECT_EQ(Row(15 - 9, 1, 19), menuitem[0]);
    EXPECT_EQ(cursor_x, 19);
    EXPECT_EQ(cursor_y, 14);
}
