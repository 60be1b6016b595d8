// Reference implementation of the field of view and view package that the
// fast path is checked against: cell by cell with every bounds test, without
// precomputed rings or window. Writes ref_vis, not vis.
#ifndef MD_TESTS_SERVER_PACKAGEREF_H
#define MD_TESTS_SERVER_PACKAGEREF_H

#include <stdint.h>

#include "resources/tiles.h"
#include "world/gameserver.h"
#include "world/world.h"

static int8_t ref_vis[225];

static inline int RefInLevel(int x, int y, int z) {
    if (z < 0 || z >= WORLD_LEVELS)
        return 0;
    if (x < 0 || y < 0 || x >= WORLD_X || y >= WORLD_Y)
        return 0;
    return x <= mapsizex[z] && y <= mapsizey[z];
}

static inline void RefVisProc(unsigned short creature, short a, short b) {
    if (creature >= MAX_NPCS || a < 0 || a >= 15 || b < 0 || b >= 15)
        return;
    int sx = vis_dirx[b * 15 + a];
    int sy = vis_diry[b * 15 + a];
    int8_t v = ref_vis[(a + sx) * 15 + (b + sy)];
    ref_vis[a * 15 + b] = v;
    if (v <= 0)
        return;
    if (v == 1) {
        ref_vis[a * 15 + b] = 0;
        return;
    }
    int x = npc_x[creature] + a - 7;
    int y = npc_y[creature] + b - 7;
    int z = (uint8_t)npc_z[creature];
    if (!RefInLevel(x, y, z) || tileblock[map[CELL(x, y, z)]] > 4)
        ref_vis[a * 15 + b] = (int8_t)(v - 1);
}

// Builds the package into out (at least 2048 bytes, like server_msg).
static inline void ReferencePreparePackage(unsigned short creature, uint8_t *out) {
    if (creature >= MAX_NPCS)
        return;
    uint8_t sight = npc_sight[creature];
    int s = sight > 6 ? 6 : sight;
    int px = npc_x[creature];
    int py = npc_y[creature];
    int z = (uint8_t)npc_z[creature];

    out[0] = (uint8_t)(turn & 0xff);
    out[1] = (uint8_t)((turn >> 8) & 0xff);
    out[2] = (uint8_t)((turn >> 16) & 0xff);
    out[3] = (uint8_t)((turn >> 24) & 0xff);
    out[4] = sight;
    out[5] = (uint8_t)(px & 0xff);
    out[6] = (uint8_t)(py & 0xff);
    out[7] = (uint8_t)z;

    ref_vis[7 * 15 + 7] = 2;
    for (int r = 1; r <= s + 1; r++) {
        int lo = 7 - r, hi = 7 + r;
        for (int a = lo; a < hi; a++)
            RefVisProc(creature, (short)a, (short)lo);
        for (int b = lo; b < hi; b++)
            RefVisProc(creature, (short)hi, (short)b);
        for (int a = hi; a > lo; a--)
            RefVisProc(creature, (short)a, (short)hi);
        for (int b = hi; b > lo; b--)
            RefVisProc(creature, (short)lo, (short)b);
    }

    uint16_t pos = 8;
    for (int y = py - s - 1; y <= py + s + 1; y++) {
        for (int x = px - s - 1; x <= px + s + 1; x++) {
            int dx = x - px < 0 ? px - x : x - px, dy = y - py < 0 ? py - y : y - py;
            if (!FOV_mask[s * 64 + dy * 8 + dx])
                continue;
            if (!RefInLevel(x, y, z))
                continue;
            int cell = CELL(x, y, z);
            uint16_t o = npc_vis[cell];
            if (o != 0 && o <= MAX_NPCS) {
                out[pos] = npc_color[o - 1];
                out[pos + 1] = npc_char[o - 1];
            } else {
                uint8_t t = map[cell];
                out[pos] = tilecolor[t];
                out[pos + 1] = tilechar[t];
            }
            if (ref_vis[(x - px + 7) * 15 + (y - py + 7)] <= 0)
                out[pos + 1] = 0;
            pos += 2;
        }
    }

    out[pos] = npc_str[creature];
    out[pos + 1] = npc_dex[creature];
    out[pos + 2] = npc_con[creature];
    out[pos + 3] = npc_int[creature];
    out[pos + 4] = npc_wis[creature];
    out[pos + 5] = npc_cha[creature];
}

#endif
