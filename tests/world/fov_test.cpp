// Field of view and view package: tables, ring pass, window and layout.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include "resources/tiles.h"
#include "world/fov.h"
#include "world/gameserver.h"
#include "world/serverhelpers.h"
#include "world/world.h"

// Window run lengths by sight and |dy|: a cell is in the window when |dx| < run.
static const int kRuns[7][8] = {{2, 2, 0, 0, 0, 0, 0, 0}, {3, 3, 2, 0, 0, 0, 0, 0},
                                {4, 4, 3, 2, 0, 0, 0, 0}, {5, 5, 4, 3, 2, 0, 0, 0},
                                {6, 6, 5, 5, 4, 2, 0, 0}, {7, 7, 6, 6, 5, 4, 2, 0},
                                {8, 8, 7, 7, 6, 5, 4, 2}};

struct Pair {
    int dx, dy;
    uint8_t colour, glyph;
};

// Reads the pairs of the package in server_msg the way a client walks them;
// returns their number.
static int Decode(int px, int py, int s, Pair *out) {
    int n = 0;
    for (int dy = -s - 1; dy <= s + 1; dy++)
        for (int dx = -s - 1; dx <= s + 1; dx++) {
            int x = px + dx, y = py + dy;
            if (abs(dx) >= kRuns[s][abs(dy)] || x < 0 || y < 0 || x > mapsizex[0] ||
                y > mapsizey[0])
                continue;
            out[n] = {dx, dy, server_msg[8 + 2 * n], server_msg[9 + 2 * n]};
            n++;
        }
    return n;
}

static const Pair *Find(const Pair *p, int n, int dx, int dy) {
    for (int i = 0; i < n; i++)
        if (p[i].dx == dx && p[i].dy == dy)
            return &p[i];
    return nullptr;
}

static void Floor() {
    tilechar[0] = '.';
    tilecolor[0] = 2;
}

static int Sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(Fov, TablesFollowTheirRules) {
    for (int b = 0; b < 15; b++)
        for (int a = 0; a < 15; a++) {
            int ox = 7 - a, oy = 7 - b;
            EXPECT_EQ(vis_dirx[b * 15 + a], abs(ox) >= abs(oy) ? Sign(ox) : 0) << a << "," << b;
            EXPECT_EQ(vis_diry[b * 15 + a], abs(oy) >= abs(ox) ? Sign(oy) : 0) << a << "," << b;
        }
    const int cells[7] = {9, 21, 37, 57, 89, 121, 157};
    for (int s = 0; s < 7; s++) {
        int c = 0;
        for (int dy = 0; dy < 8; dy++)
            for (int dx = 0; dx < 8; dx++) {
                EXPECT_EQ(FOV_mask[s * 64 + dy * 8 + dx], dx < kRuns[s][dy] ? 1 : 0);
                if (FOV_mask[s * 64 + dy * 8 + dx])
                    c += (dx ? 2 : 1) * (dy ? 2 : 1);
            }
        EXPECT_EQ(c, cells[s]);
    }
}

TEST(Fov, SightZeroPackageIs32Bytes) {
    OpenLevel(40, 30);
    Floor();
    PutCreature(0, 10, 10);
    npc_sight[0] = 0;
    npc_char[0] = '@';
    npc_color[0] = 1;
    npc_vis[CELL(10, 10, 0)] = 1;
    const uint8_t attr[6] = {11, 12, 13, 14, 15, 16};
    npc_str[0] = attr[0], npc_dex[0] = attr[1], npc_con[0] = attr[2];
    npc_int[0] = attr[3], npc_wis[0] = attr[4], npc_cha[0] = attr[5];
    memset(server_msg, 0x77, sizeof server_msg);
    turn = 0x11223344;
    PreparePackage(0);
    const uint8_t head[8] = {0x44, 0x33, 0x22, 0x11, 0, 10, 10, 0};
    EXPECT_EQ(0, memcmp(server_msg, head, 8));
    Pair p[225];
    ASSERT_EQ(Decode(10, 10, 0, p), 9);
    for (int i = 0; i < 9; i++) {
        bool centre = p[i].dx == 0 && p[i].dy == 0;
        EXPECT_EQ(p[i].glyph, centre ? '@' : '.');
        EXPECT_EQ(p[i].colour, centre ? 1 : 2);
    }
    EXPECT_EQ(0, memcmp(server_msg + 26, attr, 6));
    EXPECT_EQ(server_msg[32], 0x77); // the buffer is never cleared
}

TEST(Fov, SightSixInOpenGroundIs328Bytes) {
    OpenLevel(128, 128);
    Floor();
    PutCreature(0, 60, 70);
    npc_cha[0] = 9;
    npc_z[0] = 0x100; // only the low byte counts: level 0
    PreparePackage(0);
    EXPECT_EQ(server_msg[4], 6);
    EXPECT_EQ(server_msg[5], 60);
    EXPECT_EQ(server_msg[6], 70);
    EXPECT_EQ(server_msg[7], 0);
    Pair p[225];
    ASSERT_EQ(Decode(60, 70, 6, p), 157);
    int top = 0;
    for (int i = 0; i < 157; i++) {
        EXPECT_EQ(p[i].glyph, '.');
        top += p[i].dy == -7;
    }
    EXPECT_EQ(top, 3);
    EXPECT_EQ(p[0].dx, -1);
    EXPECT_EQ(p[0].dy, -7);
    EXPECT_EQ(server_msg[327], 9);
}

TEST(Fov, WallRightOfTheCreatureHidesItsRow) {
    OpenLevel(40, 30);
    Floor();
    PutTile(21, 20, 1, 5, '#', 7);
    PutCreature(0, 20, 20);
    PreparePackage(0);
    Pair p[225];
    int n = Decode(20, 20, 6, p);
    ASSERT_EQ(n, 157);
    EXPECT_EQ(Find(p, n, 1, 0)->glyph, '#');
    for (int dx = 2; dx <= 7; dx++) {
        EXPECT_EQ(Find(p, n, dx, 0)->glyph, 0) << dx;
        EXPECT_EQ(Find(p, n, dx, 0)->colour, 2) << dx; // colour kept
    }
    for (int dx = 1; dx <= 6; dx++) {
        EXPECT_EQ(Find(p, n, dx, 1)->glyph, '.') << dx;
        EXPECT_EQ(Find(p, n, dx, -1)->glyph, '.') << dx;
    }
    int hidden = 0;
    for (int i = 0; i < n; i++)
        hidden += p[i].glyph == 0;
    EXPECT_EQ(hidden, 6);
}

TEST(Fov, BlockingFourPassesFiveStops) {
    OpenLevel(40, 30);
    Floor();
    PutTile(11, 10, 1, 4, '+', 3);
    PutTile(11, 20, 2, 5, '#', 7);
    PutCreature(0, 10, 10);
    PutCreature(1, 10, 20);
    Pair p[225];
    PreparePackage(0);
    int n = Decode(10, 10, 6, p);
    EXPECT_EQ(Find(p, n, 1, 0)->glyph, '+');
    EXPECT_EQ(Find(p, n, 2, 0)->glyph, '.');
    PreparePackage(1);
    n = Decode(10, 20, 6, p);
    EXPECT_EQ(Find(p, n, 1, 0)->glyph, '#');
    EXPECT_EQ(Find(p, n, 2, 0)->glyph, 0);
}

TEST(Fov, CornerAtOrigin) {
    OpenLevel(128, 128);
    Floor();
    PutCreature(0, 0, 0);
    npc_str[0] = 5;
    PreparePackage(0);
    Pair p[225];
    int n = Decode(0, 0, 6, p);
    EXPECT_EQ(n, 47);
    for (int i = 0; i < n; i++)
        EXPECT_EQ(p[i].glyph, '.');
    EXPECT_EQ(server_msg[8 + 2 * n], 5);
    EXPECT_EQ(vis[6 * 15 + 7], 1); // (-1, 0): outside, seen, stops sight
    EXPECT_EQ(vis[5 * 15 + 7], 0);
    EXPECT_EQ(vis[7 * 15 + 6], 1);
}

TEST(Fov, LevelEdgeAndCellsOffTheWorld) {
    OpenLevel(40, 30);
    Floor();
    PutCreature(0, 38, 10);
    npc_sight[0] = 0;
    PreparePackage(0);
    Pair p[225];
    EXPECT_EQ(Decode(38, 10, 0, p), 9); // x = 39 = mapsizex is inside
    npc_x[0] = 39;
    PreparePackage(0);
    EXPECT_EQ(Decode(39, 10, 0, p), 6);
    // Broken positions or levels reach no grid entry: the package has no pairs.
    npc_x[0] = 500;
    PreparePackage(0);
    EXPECT_EQ(server_msg[5], 500 & 0xff);
    npc_x[0] = 5;
    npc_z[0] = 200;
    npc_cha[0] = 3;
    PreparePackage(0);
    EXPECT_EQ(server_msg[7], 200);
    EXPECT_EQ(server_msg[13], 3);
}

TEST(Fov, CreaturesInTheWindowShowWhenSeen) {
    OpenLevel(40, 30);
    Floor();
    PutTile(21, 20, 1, 5);
    PutCreature(0, 20, 20);
    PutCreature(1, 23, 20); // behind the wall
    PutCreature(2, 20, 18);
    npc_char[1] = 'w', npc_color[1] = 15;
    npc_char[2] = 'k', npc_color[2] = 12;
    npc_vis[CELL(23, 20, 0)] = 2;
    npc_vis[CELL(20, 18, 0)] = 3;
    PreparePackage(0);
    Pair p[225];
    int n = Decode(20, 20, 6, p);
    EXPECT_EQ(Find(p, n, 3, 0)->glyph, 0);
    EXPECT_EQ(Find(p, n, 3, 0)->colour, 15);
    EXPECT_EQ(Find(p, n, 0, -2)->glyph, 'k');
    EXPECT_EQ(Find(p, n, 0, -2)->colour, 12);
    EXPECT_EQ(Find(p, n, 0, 0)->glyph, '.'); // creature 0 has no mark yet
}

TEST(Fov, PackagesInARowAreIndependent) {
    OpenLevel(60, 60);
    Floor();
    for (int x = 14; x <= 18; x++)
        for (int y = 14; y <= 18; y++)
            if (x == 14 || x == 18 || y == 14 || y == 18)
                PutTile(x, y, 1, 7);
    PutCreature(0, 16, 16); // boxed in
    PutCreature(1, 30, 30); // open ground
    npc_sight[1] = 3;
    uint8_t first[2048];
    PreparePackage(1);
    memcpy(first, server_msg, sizeof first);
    PreparePackage(0);
    PreparePackage(1);
    EXPECT_EQ(0, memcmp(first, server_msg, 14 + 2 * 57));
    npc_sight[0] = 9; // beyond the tables: header as stored, view of sight 6
    PreparePackage(0);
    EXPECT_EQ(server_msg[4], 9);
    Pair p[225];
    int n = Decode(16, 16, 6, p);
    EXPECT_EQ(n, 157);
    EXPECT_EQ(Find(p, n, 2, 0)->glyph, '#');
    EXPECT_EQ(Find(p, n, 3, 0)->glyph, 0);
}
