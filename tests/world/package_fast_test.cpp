// The view package built from the precomputed rings and windows against the
// cell-by-cell builder it replaced: random levels, walls, occupancy values,
// positions at edges and corners and off the world, levels, and sights.
#include <gtest/gtest.h>
#include <string.h>

#include <random>

#include "resources/tiles.h"
#include "support/testsupport.h"
#include "world/fov.h"
#include "world/gameserver.h"
#include "world/packageref.h"
#include "world/world.h"

// Random world around (cx, cy) on level z: tiles, blocking values that make
// the given share of tiles opaque, and occupancy marks of any value.
static void RandomNeighbourhood(std::mt19937 &rng, int cx, int cy, int z, int opaque) {
    for (int t = 0; t < 256; t++) {
        tileblock[t] = (uint8_t)(rng() % 100 < (unsigned)opaque ? 5 + rng() % 251 : rng() % 5);
        tilechar[t] = (uint8_t)rng();
        tilecolor[t] = (uint8_t)rng();
    }
    for (int x = cx - 8; x <= cx + 8; x++)
        for (int y = cy - 8; y <= cy + 8; y++) {
            if (x < 0 || y < 0 || x >= WORLD_X || y >= WORLD_Y || z >= WORLD_LEVELS)
                continue;
            map[CELL(x, y, z)] = (uint8_t)rng();
            unsigned kind = rng() % 16;
            npc_vis[CELL(x, y, z)] = (uint16_t)(kind < 12   ? 0
                                                : kind < 15 ? 1 + rng() % 1024
                                                            : rng());
        }
}

// One random creature and level; positions favour the level's edges.
static void RandomCase(std::mt19937 &rng, int k) {
    int z = rng() % 8 ? 0 : (int)(rng() % 100);
    int16_t zfield = (int16_t)z;
    if (rng() % 16 == 0)
        zfield = (int16_t)rng(); // any level field, low byte used
    z = (uint8_t)zfield;
    if (z < WORLD_LEVELS) {
        mapsizex[z] = (uint16_t)(rng() % 4 ? rng() % 128 : rng() % 300);
        mapsizey[z] = (uint16_t)(rng() % 4 ? rng() % 128 : rng() % 300);
    }
    int w = z < WORLD_LEVELS ? mapsizex[z] : 127, h = z < WORLD_LEVELS ? mapsizey[z] : 127;
    auto pick = [&](int max) {
        switch (rng() % 4) {
        case 0:
            return (int)(rng() % 9); // near 0
        case 1:
            return max - (int)(rng() % 9); // near the far edge
        case 2:
            return (int)(rng() % 160) - 16; // anywhere, off the world too
        default:
            return (int)(rng() % ((max < 127 ? max : 127) + 1));
        }
    };
    npc_x[k] = (int16_t)pick(w);
    npc_y[k] = (int16_t)pick(h);
    npc_z[k] = zfield;
    npc_sight[k] = (uint8_t)(rng() % 8 ? rng() % 7 : rng());
    npc_color[k] = (uint8_t)rng();
    npc_char[k] = (uint8_t)rng();
    npc_str[k] = (uint8_t)rng();
    npc_dex[k] = (uint8_t)rng();
    npc_con[k] = (uint8_t)rng();
    npc_int[k] = (uint8_t)rng();
    npc_wis[k] = (uint8_t)rng();
    npc_cha[k] = (uint8_t)rng();
    for (int i = 0; i < MAX_NPCS; i += 1 + rng() % 64) {
        npc_color[i] = (uint8_t)rng();
        npc_char[i] = (uint8_t)rng();
    }
    turn = (uint32_t)rng();
    RandomNeighbourhood(rng, npc_x[k], npc_y[k], z, rng() % 3 == 0 ? 0 : (int)(rng() % 60));
}

// Builds the package with both builders from the same random scratch state;
// server_msg and the whole vis grid must come out the same.
static void CheckMany(unsigned seed, int cases) {
    std::mt19937 rng(seed);
    static uint8_t want[SERVER_SLOT];
    for (int c = 0; c < cases; c++) {
        int k = (int)(rng() % MAX_NPCS);
        RandomCase(rng, k);
        for (int i = 0; i < SERVER_SLOT; i++)
            want[i] = server_msg[i] = (uint8_t)rng();
        for (int i = 0; i < 225; i++)
            ref_vis[i] = vis[i] = (int8_t)(rng() % 5 - 1);
        ReferencePreparePackage((unsigned short)k, want);
        PreparePackage((unsigned short)k);
        int z = (uint8_t)npc_z[k];
        SCOPED_TRACE(testing::Message()
                     << "case " << c << ": creature " << k << " at " << npc_x[k] << "," << npc_y[k]
                     << " level " << z << " sight " << (int)npc_sight[k] << " level size "
                     << (z < WORLD_LEVELS ? mapsizex[z] : -1) << ","
                     << (z < WORLD_LEVELS ? mapsizey[z] : -1));
        for (int i = 0; i < 225; i++)
            ASSERT_EQ(vis[i], ref_vis[i]) << "vis " << i / 15 << "," << i % 15;
        for (int i = 0; i < SERVER_SLOT; i++)
            ASSERT_EQ(server_msg[i], want[i]) << "package byte " << i;
    }
}

TEST(PackageFast, MatchesTheReferenceAtEdgesCornersAndAnySight) {
    CheckMany(201, RandomCases(4000));
}

// Open ground, every sight, positions sliding across a level's right and
// bottom edges one cell at a time.
TEST(PackageFast, MatchesTheReferenceAcrossLevelEdges) {
    std::mt19937 rng(202);
    static uint8_t want[SERVER_SLOT];
    mapsizex[0] = 40;
    mapsizey[0] = 30;
    for (int s = 0; s <= 7; s++)
        for (int x = 25; x <= 42; x++)
            for (int y = -2; y <= 10; y += 3) {
                npc_x[3] = (int16_t)x;
                npc_y[3] = (int16_t)(y < 0 ? y : 30 - y);
                npc_sight[3] = (uint8_t)s;
                RandomNeighbourhood(rng, x, npc_y[3], 0, s % 2 ? 0 : 20);
                memset(server_msg, 0xA5, sizeof server_msg);
                memset(want, 0xA5, sizeof want);
                memset(vis, 3, sizeof vis);
                memset(ref_vis, 3, sizeof ref_vis);
                ReferencePreparePackage(3, want);
                PreparePackage(3);
                ASSERT_EQ(0, memcmp(vis, ref_vis, sizeof vis)) << s << " " << x << "," << y;
                ASSERT_EQ(0, memcmp(server_msg, want, sizeof want)) << s << " " << x << "," << y;
            }
}
