// The creature pass against the one it replaced: random worlds, all 1024
// creature slots, any move codes and stream positions, creatures off the
// world grid and on levels without a size.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <vector>

#include "math/zmath.h"
#include "resources/tiles.h"
#include "support/testsupport.h"
#include "world/gameserver.h"
#include "world/turnref.h"
#include "world/world.h"

namespace {

struct Creatures {
    std::vector<int16_t> x, y;
    std::vector<uint8_t> move;
    std::vector<uint16_t> marks;
    uint16_t counted, seed;

    void Take() {
        x.assign(npc_x, npc_x + MAX_NPCS);
        y.assign(npc_y, npc_y + MAX_NPCS);
        move.assign(npc_move, npc_move + MAX_NPCS);
        marks.assign(npc_vis, npc_vis + WORLD_CELLS);
        counted = npcs;
        seed = rnd_seed;
    }
    void Put() const {
        memcpy(npc_x, x.data(), sizeof npc_x);
        memcpy(npc_y, y.data(), sizeof npc_y);
        memcpy(npc_move, move.data(), sizeof npc_move);
        memcpy(npc_vis, marks.data(), sizeof npc_vis);
        npcs = counted;
        rnd_seed = seed;
    }
};

// A crowded random world: small levels so that creatures meet, walls of any
// blocking value, marks left over, and creatures placed anywhere.
void RandomWorld(std::mt19937 &rng) {
    for (int t = 0; t < 256; t++)
        tileblock[t] = (uint8_t)rng();
    const int levels = 1 + rng() % 3;
    for (int z = 0; z < levels; z++) {
        mapsizex[z] = (uint16_t)(rng() % 4 ? rng() % 24 : rng() % 200);
        mapsizey[z] = (uint16_t)(rng() % 4 ? rng() % 24 : rng() % 200);
        for (int x = 0; x < 32; x++)
            for (int y = 0; y < 32; y++) {
                map[CELL(x, y, z)] = (uint8_t)rng();
                npc_vis[CELL(x, y, z)] = rng() % 8 ? 0 : (uint16_t)rng();
            }
    }
    for (int i = 0; i < MAX_NPCS; i++) {
        npc_enabled[i] = rng() % 4 ? (uint8_t)(1 + rng() % 255) : 0;
        npc_playercontrol[i] = rng() % 3 ? 0 : (uint8_t)rng();
        npc_move[i] = (uint8_t)(rng() % 8 ? rng() % 9 : rng());
        npc_x[i] = (int16_t)(rng() % 16 ? rng() % 26 : (int)(rng() % 300) - 100);
        npc_y[i] = (int16_t)(rng() % 16 ? rng() % 26 : (int)(rng() % 300) - 100);
        npc_z[i] = (int16_t)(rng() % 16 ? rng() % levels : (int)(rng() % 300) - 100);
    }
    rnd_seed = (uint16_t)(rng() % 4 ? rng() % 1024 : rng());
}

TEST(TurnFast, CreaturePassMatchesTheReference) {
    std::mt19937 rng(401);
    Creatures start, want, got;
    for (int c = 0, worlds = RandomCases(60); c < worlds; c++) {
        RandomWorld(rng);
        for (int turnno = 0; turnno < 4; turnno++) { // consecutive turns in one world
            start.Take();
            ReferenceProcNPC();
            want.Take();
            start.Put();
            ProcNPC();
            got.Take();
            SCOPED_TRACE(testing::Message() << "world " << c << ", turn " << turnno);
            ASSERT_EQ(got.counted, want.counted);
            ASSERT_EQ(got.seed, want.seed);
            for (int i = 0; i < MAX_NPCS; i++) {
                ASSERT_EQ(got.x[i], want.x[i]) << "creature " << i;
                ASSERT_EQ(got.y[i], want.y[i]) << "creature " << i;
                ASSERT_EQ(got.move[i], want.move[i]) << "creature " << i;
            }
            ASSERT_TRUE(got.marks == want.marks);
        }
    }
}

// The wandering rule on its own draws as random8() does, from any position.
TEST(TurnFast, WanderingRuleMatchesTheReference) {
    for (unsigned seed = 0; seed < 70000; seed += 7) {
        rnd_seed = (uint16_t)seed;
        RefProc_NPC_AI(5);
        const uint8_t want = npc_move[5];
        const uint16_t wantseed = rnd_seed;
        npc_move[5] = 99;
        rnd_seed = (uint16_t)seed;
        Proc_NPC_AI(5);
        ASSERT_EQ(npc_move[5], want) << seed;
        ASSERT_EQ(rnd_seed, wantseed) << seed;
    }
}

} // namespace
