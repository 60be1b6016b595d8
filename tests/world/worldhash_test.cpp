// The world hash skips runs of zero bytes by powers of the prime; it must
// give exactly the plain byte-by-byte FNV-1a 64 of every field, whatever the
// world holds.
#include <gtest/gtest.h>
#include <string.h>

#include "math/zmath.h"
#include "wire/record.h"
#include "world/world.h"
#include "world/worldhash.h"

namespace {

uint64_t Plain(uint64_t h, const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; i++)
        h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

uint64_t PlainWords(uint64_t h, const uint16_t *w, size_t n) {
    for (size_t i = 0; i < n; i++) {
        uint8_t b[2] = {(uint8_t)w[i], (uint8_t)(w[i] >> 8)};
        h = Plain(h, b, 2);
    }
    return h;
}

uint64_t PlainWorldHash() {
    uint64_t h = Plain(0xcbf29ce484222325ull, map, sizeof map);
    h = PlainWords(h, mapsizex, WORLD_LEVELS);
    h = PlainWords(h, mapsizey, WORLD_LEVELS);
    h = PlainWords(h, npc_vis, WORLD_CELLS);
    h = PlainWords(h, (const uint16_t *)npc_x, MAX_NPCS);
    h = PlainWords(h, (const uint16_t *)npc_y, MAX_NPCS);
    h = PlainWords(h, (const uint16_t *)npc_z, MAX_NPCS);
    const uint8_t *bytes[] = {npc_enabled, npc_playercontrol, npc_move, npc_sight,
                              npc_char,    npc_color,         npc_str,  npc_dex,
                              npc_con,     npc_int,           npc_wis,  npc_cha};
    for (const uint8_t *b : bytes)
        h = Plain(h, b, MAX_NPCS);
    uint16_t words[4] = {npcs, (uint16_t)turn, (uint16_t)(turn >> 16), rnd_seed};
    return PlainWords(h, words, 4);
}

// Random sparse and dense contents, runs of every length (short, a block,
// long, to the very end of a field), odd offsets and values with one zero
// byte in a 16-bit word.
TEST(WorldHash, EqualsThePlainHashOfEveryField) {
    uint32_t draw = 12345;
    auto next = [&draw]() {
        draw = draw * 1103515245u + 12345u;
        return draw >> 8;
    };
    for (int c = 0; c < 24; c++) {
        memset(map, 0, sizeof map);
        memset(npc_vis, 0, sizeof npc_vis);
        int marks = c % 3 == 0 ? 0 : c % 3 == 1 ? 40 : 200000;
        for (int k = 0; k < marks; k++) {
            map[next() % sizeof map] = (uint8_t)next();
            uint32_t v = next();
            npc_vis[next() % WORLD_CELLS] = (uint16_t)(v & 1 ? v & 0xFF00 : v & 0x00FF);
        }
        if (c % 4 == 1) {
            map[sizeof map - 1] = 7;
            npc_vis[WORLD_CELLS - 1] = 0x0100;
            npc_vis[0] = 1;
        }
        for (int k = 0; k < MAX_NPCS; k++) {
            npc_x[k] = (int16_t)(c % 2 ? next() : 0);
            npc_char[k] = (uint8_t)(k % (c + 1) == 0 ? next() : 0);
        }
        mapsizex[c % WORLD_LEVELS] = (uint16_t)next();
        turn = next();
        rnd_seed = (uint16_t)(c * 37);
        ASSERT_EQ(WorldHash(), PlainWorldHash()) << "case " << c;
    }
    // Runs of zero bytes just short of, at and past the 256 where the skip
    // changes method, between two marks of a byte field and a word field.
    for (size_t run : {255, 256, 257, 512}) {
        memset(map, 0, sizeof map);
        memset(npc_vis, 0, sizeof npc_vis);
        map[100] = 1, map[101 + run] = 2;
        npc_vis[100] = 3, npc_vis[101 + run / 2] = 4;
        ASSERT_EQ(WorldHash(), PlainWorldHash()) << "run " << run;
    }
}

} // namespace
