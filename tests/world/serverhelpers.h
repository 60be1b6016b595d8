// Small world set-ups shared by the server tests.
#ifndef MD_TESTS_SERVER_SERVERHELPERS_H
#define MD_TESTS_SERVER_SERVERHELPERS_H

#include "resources/tiles.h"
#include "world/world.h"

// Level 0 of w x h cells, all tile 0 (passable unless a test says otherwise).
inline void OpenLevel(int w, int h) {
    mapsizex[0] = (uint16_t)(w - 1);
    mapsizey[0] = (uint16_t)(h - 1);
}

// Puts tile t at (x, y) of level 0 with the given blocking value, glyph and colour.
inline void PutTile(int x, int y, uint8_t t, uint8_t block, uint8_t glyph = '#',
                    uint8_t colour = 7) {
    map[CELL(x, y, 0)] = t;
    tileblock[t] = block;
    tilechar[t] = glyph;
    tilecolor[t] = colour;
}

// An enabled creature standing at (x, y) with a fixed move code; a non-zero
// player number keeps the wandering rule off.
inline void PutCreature(int k, int x, int y, uint8_t move = 0, uint8_t player = 1) {
    npc_enabled[k] = 1;
    npc_playercontrol[k] = player;
    npc_x[k] = (int16_t)x;
    npc_y[k] = (int16_t)y;
    npc_move[k] = move;
    npc_sight[k] = 6;
}

#endif
