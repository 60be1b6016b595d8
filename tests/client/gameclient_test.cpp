// Client view: decoding packages in step, camera, memory, status line, command.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "client/gameclient.h"
#include "console/render.h"
#include "console/sfont.h"
#include "platform/platform.h"
#include "resources/tiles.h"
#include "world/gameserver.h"
#include "world/world.h"

namespace {

// Length of the run of window cells from |dx| = 0, per sight and |dy|.
const int kWindowRun[7][8] = {
    {2, 2, 0, 0, 0, 0, 0, 0}, {3, 3, 2, 0, 0, 0, 0, 0}, {4, 4, 3, 2, 0, 0, 0, 0},
    {5, 5, 4, 3, 2, 0, 0, 0}, {6, 6, 5, 5, 4, 2, 0, 0}, {7, 7, 6, 6, 5, 4, 2, 0},
    {8, 8, 7, 7, 6, 5, 4, 2},
};

bool InWindow(int s, int dx, int dy) {
    dx = dx < 0 ? -dx : dx;
    dy = dy < 0 ? -dy : dy;
    return dy <= 7 && dx < kWindowRun[s][dy];
}

bool InLevel(int x, int y) {
    return x >= 0 && y >= 0 && x <= mapsizex[0] && y <= mapsizey[0];
}

// What the test world holds: a glyph unique within any 15 x 15 window, so a
// pair read for the wrong cell shows up, and a colour of its own.
uint8_t GlyphAt(int x, int y) {
    return (uint8_t)(1 + (x % 15) * 15 + (y % 15));
}
uint8_t ColourAt(int x, int y) {
    return (uint8_t)(3 + x + 5 * y);
}

bool hidden[128][128]; // cells the test marks as hidden behind something

// Writes a package into slot 0 as the server does: header, one pair per window
// cell inside level 0 (rows top to bottom, columns left to right), attributes.
// Returns the number of pairs.
int MakePackage(uint32_t t, uint8_t sightbyte, int x, int y) {
    uint8_t *m = net_server_msg;
    m[0] = t & 255;
    m[1] = (t >> 8) & 255;
    m[2] = (t >> 16) & 255;
    m[3] = t >> 24;
    m[4] = sightbyte;
    m[5] = (uint8_t)x;
    m[6] = (uint8_t)y;
    m[7] = 0;
    int s = sightbyte > 6 ? 6 : sightbyte;
    int p = 8;
    for (int wy = y - s - 1; wy <= y + s + 1; wy++)
        for (int wx = x - s - 1; wx <= x + s + 1; wx++) {
            if (!InWindow(s, wx - x, wy - y) || !InLevel(wx, wy))
                continue;
            m[p] = ColourAt(wx, wy);
            m[p + 1] = hidden[wx][wy] ? 0 : GlyphAt(wx, wy);
            p += 2;
        }
    for (int a = 0; a < 6; a++)
        m[p + a] = 0xEE; // attributes: never drawn
    return (p - 8) / 2;
}

void SetGrid(int cell) {
    Screen_Width = 320;
    Screen_Height = 240;
    charx = chary = (uint16_t)cell;
}

void SetLevel(int maxx, int maxy) {
    mapsizex[0] = (uint16_t)maxx;
    mapsizey[0] = (uint16_t)maxy;
    tilechar[0] = ' ';
}

// Checks every map cell of an n x h area against the test world for a player
// at (x, y) with sight s, the memory having been empty before the frame.
void ExpectScreen(int n, int h, int s, int x, int y) {
    for (int i = 0; i < h; i++)
        for (int j = 0; j < n; j++) {
            int wx = camerax[0] + j, wy = cameray[0] + i, k = j * 256 + i;
            SCOPED_TRACE(testing::Message() << "cell " << j << "," << i);
            if (!InLevel(wx, wy)) {
                EXPECT_EQ(scch[k], ' ');
                continue;
            }
            bool seen = InWindow(s, wx - x, wy - y) && !hidden[wx][wy];
            EXPECT_EQ(scch[k], seen ? GlyphAt(wx, wy) : 0);
            EXPECT_EQ(sccl[k], seen ? ColourAt(wx, wy) : 130);
            EXPECT_EQ(sccb[k], 0);
            EXPECT_EQ(map_memory[CELL(wx, wy, 0)], seen ? GlyphAt(wx, wy) : 0);
        }
}

void ClearView() {
    memset(map_memory, 0, sizeof map_memory);
    memset(scch, 0, sizeof scch);
    memset(sccl, 0, sizeof sccl);
    memset(sccb, 0, sizeof sccb);
}

} // namespace

TEST(ClientView, WindowTableIsTheOneTheClientWalks) {
    for (int s = 0; s < 7; s++)
        for (int dy = 0; dy < 8; dy++)
            for (int dx = 0; dx < 8; dx++)
                EXPECT_EQ(FOV_mask[s * 64 + dy * 8 + dx], InWindow(s, dx, dy) ? 1 : 0)
                    << s << " " << dy << " " << dx;
}

// 8 x 8 cells: 40 x 29 map area, the whole window on screen for every sight,
// at the level's corners and edges too, where the camera is clamped.
TEST(ClientView, StaysInStepWith8x8Cells) {
    SetGrid(8);
    const int pos[][2] = {{2, 4}, {0, 0}, {64, 64}, {127, 127}, {0, 127}, {19, 14}, {108, 113}};
    const int levels[][2] = {{127, 127}, {59, 39}, {39, 28}, {20, 9}};
    for (auto &lv : levels)
        for (auto &pp : pos)
            for (int s = 0; s <= 6; s++) {
                SetLevel(lv[0], lv[1]);
                int x = pp[0] > lv[0] ? lv[0] : pp[0], y = pp[1] > lv[1] ? lv[1] : pp[1];
                SCOPED_TRACE(testing::Message() << "level " << lv[0] << "x" << lv[1] << " at " << x
                                                << "," << y << " sight " << s);
                memset(hidden, 0, sizeof hidden);
                hidden[x][y > 0 ? y - 1 : y + 1] = true;
                ClearView();
                MakePackage(7, (uint8_t)s, x, y);
                ProcClient();
                ExpectScreen(40, 29, s, x, y);
                EXPECT_EQ(cursor_x, x - camerax[0]);
                EXPECT_EQ(cursor_y, y - cameray[0]);
            }
}

// 16 x 16 cells: 20 x 14 map area; at sight 6 the window's bottom row falls on
// the status row and its pairs are left unread.
TEST(ClientView, StaysInStepWith16x16Cells) {
    SetGrid(16);
    SetLevel(127, 127);
    for (int s = 0; s <= 6; s++) {
        ClearView();
        int pairs = MakePackage(3, (uint8_t)s, 50, 40);
        ProcClient();
        EXPECT_EQ(camerax[0], 40);
        EXPECT_EQ(cameray[0], 33);
        ExpectScreen(20, 14, s, 50, 40);
        if (s == 6) {
            EXPECT_EQ(pairs, 157);
        }
    }
    // The window's bottom row (dy = +7) is not drawn and not remembered.
    EXPECT_EQ(map_memory[CELL(50, 47, 0)], 0);
    EXPECT_EQ(scch[0 * 256 + 14], 'P');

    // A package with a larger sight byte is read as sight 6.
    ClearView();
    MakePackage(4, 250, 50, 40);
    ProcClient();
    ExpectScreen(20, 14, 6, 50, 40);
}

TEST(ClientView, CameraClamps) {
    SetGrid(16); // 20 columns, 14 map rows
    SetLevel(99, 99);
    MakePackage(1, 6, 3, 50);
    ProcClient();
    EXPECT_EQ(camerax[0], 0);
    EXPECT_EQ(cursor_x, 3);

    MakePackage(1, 6, 95, 95);
    ProcClient();
    EXPECT_EQ(camerax[0], 80); // last column shows x = 99
    EXPECT_EQ(cameray[0], 86); // 88 + 13 > 99: last map row shows y = 99
    EXPECT_EQ(cursor_x, 15);
    EXPECT_EQ(cursor_y, 9);
    ExpectScreen(20, 14, 6, 95, 95);

    // One column wider than the screen: no right clamp, the camera runs past
    // the level and the cells beyond it get only the glyph of tile 0.
    SetLevel(20, 13);
    memset(sccl, 77, sizeof sccl);
    memset(sccb, 66, sizeof sccb);
    MakePackage(1, 6, 19, 13);
    ProcClient();
    EXPECT_EQ(camerax[0], 9);
    EXPECT_EQ(cameray[0], 6); // 13 - 7; 14 < 13 is false, so no clamp either
    for (int j = 12; j < 20; j++) {
        EXPECT_EQ(scch[j * 256 + 0], ' ');
        EXPECT_EQ(sccl[j * 256 + 0], 77);
        EXPECT_EQ(sccb[j * 256 + 0], 66);
    }
    ExpectScreen(20, 14, 6, 19, 13);
}

TEST(ClientView, MemoryAndUnseenColour) {
    SetGrid(8);
    SetLevel(127, 127);
    // A wall at (30, 20) seen from (28, 20), then walked away from.
    MakePackage(1, 6, 28, 20);
    ProcClient();
    EXPECT_EQ(map_memory[CELL(30, 20, 0)], GlyphAt(30, 20));
    MakePackage(2, 6, 10, 20);
    ProcClient();
    // camera x = 0 now; the wall is out of view at column 30.
    EXPECT_EQ(scch[30 * 256 + 20 - cameray[0]], GlyphAt(30, 20));
    EXPECT_EQ(sccl[30 * 256 + 20 - cameray[0]], 130);
    EXPECT_EQ(sccb[30 * 256 + 20 - cameray[0]], 0);
    // Never seen: glyph 0 in colour 130.
    EXPECT_EQ(scch[39 * 256 + 28], 0);
    EXPECT_EQ(sccl[39 * 256 + 28], 130);

    // In the window but hidden: the remembered glyph, memory unchanged.
    map_memory[CELL(12, 20, 0)] = 'M';
    hidden[12][20] = true;
    MakePackage(3, 6, 10, 20);
    ProcClient();
    int k = 12 * 256 + 20 - cameray[0];
    EXPECT_EQ(scch[k], 'M');
    EXPECT_EQ(sccl[k], 130);
    EXPECT_EQ(map_memory[CELL(12, 20, 0)], 'M');
}

TEST(ClientView, StatusLine) {
    SetGrid(8);
    SetLevel(127, 127);
    memset(sccb, 55, sizeof sccb);
    MakePackage(40, 6, 12, 5);
    ProcClient();
    std::string want = "Player0 X:12 Y:5 Turn:40" + std::string(24, ' ');
    for (size_t q = 0; q < want.size(); q++) {
        EXPECT_EQ(scch[q * 256 + 29], (uint8_t)want[q]) << q;
        EXPECT_EQ(sccl[q * 256 + 29], 1);
        EXPECT_EQ(sccb[q * 256 + 29], 55);
    }
    EXPECT_EQ(scch[want.size() * 256 + 29], 0);
    EXPECT_EQ(playerturn[0], 40);
    EXPECT_EQ(playerlastturn[0], 40);

    // The largest numbers still fit the text buffer.
    MakePackage(0x80000000u, 6, 255, 255);
    ProcClient();
    want = "Player0 X:255 Y:255 Turn:-2147483648" + std::string(24, ' ');
    for (size_t q = 0; q < want.size(); q++)
        EXPECT_EQ(scch[q * 256 + 29], (uint8_t)want[q]) << q;
}

// A new turn clears the command, then the held direction sets it again;
// releasing the pad never withdraws it; the last direction before a turn wins.
TEST(ClientView, CommandAcrossTurns) {
    SetGrid(8);
    SetLevel(127, 127);
    net_client_msg[2] = 0x5A; // reserved bytes are not the client's
    controlpad[0].dir = 255;
    MakePackage(0, 6, 5, 5);
    ProcClient();
    EXPECT_EQ(net_client_msg[0], 0);

    controlpad[0].dir = 0;
    ProcClient();
    EXPECT_EQ(net_client_msg[0], 1);
    EXPECT_EQ(net_client_msg[1], 1);

    MakePackage(1, 6, 5, 4); // the turn that consumed it
    ProcClient();
    EXPECT_EQ(net_client_msg[0], 1);
    EXPECT_EQ(net_client_msg[1], 1);

    controlpad[0].dir = 255; // released: stays for the next turn
    ProcClient();
    EXPECT_EQ(net_client_msg[0], 1);
    EXPECT_EQ(net_client_msg[1], 1);

    controlpad[0].dir = 2;
    ProcClient();
    controlpad[0].dir = 6;
    ProcClient();
    controlpad[0].dir = 255;
    ProcClient();
    EXPECT_EQ(net_client_msg[1], 7);

    MakePackage(2, 6, 4, 4); // new turn, nothing held: cleared
    ProcClient();
    EXPECT_EQ(net_client_msg[0], 0);
    EXPECT_EQ(net_client_msg[1], 0);
    EXPECT_EQ(net_client_msg[2], 0x5A);
}

TEST(ClientView, TurnCheckOfAnySlot) {
    net_server_msg[2 * 2048] = 9;
    net_client_msg[2 * 128] = 1;
    net_client_msg[2 * 128 + 1] = 3;
    playerlastturn[2] = 9;
    RecieveData(2);
    EXPECT_EQ(net_client_msg[2 * 128], 1);
    playerlastturn[2] = 8;
    RecieveData(2);
    EXPECT_EQ(net_client_msg[2 * 128], 0);
    EXPECT_EQ(net_client_msg[2 * 128 + 1], 0);
    EXPECT_EQ(playerturn[2], 9);
    EXPECT_EQ(playerlastturn[2], 8);
    RecieveData(4); // no such slot: nothing happens
    SendData();
}

// Fonts that give odd grids: everything stays inside the planes.
TEST(ClientView, TinyAndHugeGrids) {
    SetLevel(127, 127);
    memset(scch, 0x77, sizeof scch);
    memset(sccl, 0x77, sizeof sccl);
    MakePackage(5, 6, 64, 64);

    Screen_Width = 320, Screen_Height = 240, charx = 1, chary = 1; // 255 x 240
    ProcClient();
    EXPECT_EQ(camerax[0], 0);            // 64 - 127 < 0
    EXPECT_EQ(scch[254 * 256 + 0], ' '); // x = 254 is outside the level
    EXPECT_EQ(sccl[127 * 256 + 127], 130);
    EXPECT_EQ(scch[0 * 256 + 239], 'P'); // status row 239
    for (int r = 0; r < 256; r++)        // the 256th column is never drawn
        EXPECT_EQ(scch[255 * 256 + r], 0x77) << r;

    // A screen of more than 255 cells each way is capped like the renderer.
    memset(scch, 0x77, sizeof scch);
    Screen_Width = Screen_Height = 1000;
    ProcClient();
    EXPECT_EQ(scch[0 * 256 + 254], 'P');
    for (int c = 0; c < 254; c++)
        EXPECT_EQ(scch[254 * 256 + c], ' ') << c;
    for (int c = 0; c < 256; c++)
        EXPECT_EQ(scch[255 * 256 + c], 0x77) << c;
    Screen_Width = 320, Screen_Height = 240;

    // One row only: no map rows, the status line on row 0.
    memset(scch, 0x77, sizeof scch);
    charx = 8, chary = 130;
    ProcClient();
    EXPECT_EQ(scch[0], 'P');
    EXPECT_EQ(scch[1], 0x77);

    // No row at all, or a zero cell size: nothing is drawn.
    memset(scch, 0x77, sizeof scch);
    for (int c : {241, 0}) {
        chary = (uint16_t)c;
        ProcClient();
    }
    charx = 0, chary = 8;
    ProcClient();
    for (int i = 0; i < CON_CELLS; i++)
        ASSERT_EQ(scch[i], 0x77) << i;
}

// A grid of cells too tall for a single row draws nothing, but its camera and
// cursor still follow the columns it has and the rule for h = -1.
TEST(ClientView, NoRowKeepsTheCameraRule) {
    SetLevel(127, 127);
    MakePackage(5, 6, 64, 64);
    memset(scch, 0x77, sizeof scch);
    Screen_Width = 320, Screen_Height = 240, charx = 8, chary = 241;
    ProcClient();
    EXPECT_EQ(camerax[0], 44); // 64 - 40 / 2
    EXPECT_EQ(cameray[0], 65); // 64 - (-1 / 2 rounded down)
    EXPECT_EQ(cursor_x, 20);
    EXPECT_EQ(cursor_y, 255);
    for (int i = 0; i < CON_CELLS; i++)
        ASSERT_EQ(scch[i], 0x77) << i;
}

// Exactly 256 columns fit the planes: the last one is drawn like any other.
TEST(ClientView, GridIsCappedAt255ColumnsLikeTheRenderer) {
    SetLevel(127, 127);
    MakePackage(5, 6, 64, 64);
    memset(scch, 0x77, sizeof scch);
    Screen_Width = 256, Screen_Height = 240, charx = 1, chary = 8; // 255 x 30 after the cap
    ProcClient();
    EXPECT_EQ(camerax[0], 0);
    EXPECT_EQ(scch[254 * 256 + 0], ' ');  // x = 254, outside the level
    EXPECT_EQ(scch[255 * 256 + 0], 0x77); // the 256th column is never drawn
    EXPECT_EQ(sccl[127 * 256 + 0], 130);  // x = 127, inside, never seen
}
