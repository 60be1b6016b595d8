// Reference implementation of the creature pass that the fast pass is checked
// against: the stream position and world index recomputed at every use.
// Calls random8() and InLevel() of the game.
#ifndef MD_TESTS_SERVER_TURNREF_H
#define MD_TESTS_SERVER_TURNREF_H

#include "math/zmath.h"
#include "resources/tiles.h"
#include "world/gameserver.h"
#include "world/world.h"

static void RefSetMark(int x, int y, int z, uint16_t mark) {
    if (x < 0 || y < 0 || z < 0 || x >= WORLD_X || y >= WORLD_Y || z >= WORLD_LEVELS)
        return;
    npc_vis[CELL(x, y, z)] = mark;
}

static void RefProc_NPC_AI(unsigned short creature) {
    if (creature >= MAX_NPCS)
        return;
    npc_move[creature] = 0;
    if (random8() == 7)
        return;
    npc_move[creature] = (uint8_t)(random8() + 1);
}

static void ReferenceProcNPC() {
    npcs = 0;
    for (int i = 0; i < MAX_NPCS; i++) {
        if (!npc_enabled[i])
            continue;
        int z = npc_z[i];
        RefSetMark(npc_x[i], npc_y[i], z, 0);
        npcs++;
        if (npc_playercontrol[i] == 0)
            RefProc_NPC_AI((unsigned short)i);
        uint8_t m = npc_move[i];
        if (m != 0 && m <= 8) { // codes above 8 are no move
            int nx = npc_x[i] + table_movex[m];
            int ny = npc_y[i] + table_movey[m];
            if (InLevel(nx, ny, z) && tileblock[map[CELL(nx, ny, z)]] <= 4 &&
                npc_vis[CELL(nx, ny, z)] == 0) {
                npc_x[i] = (int16_t)nx;
                npc_y[i] = (int16_t)ny;
            }
        }
        RefSetMark(npc_x[i], npc_y[i], z, (uint16_t)(i + 1));
    }
}

#endif
