// Field of view and view package: the fixed-ray shadow pass over the 15 x 15
// visibility grid and the package that carries a creature's view to its client.
#include "game/globalvar.h"
#include "math/zmath.h"
#include "server/gameserver.h"

// The step tables are y-major (entry (a, b) at b * 15 + a), the transpose of
// vis. Each entry points from grid cell (a, b) to its neighbour one ring
// nearer the centre (7, 7): straight along the longer offset, diagonal where
// both offsets are equal. The window mask is a run of ones from |dx| = 0 in
// every row; sight 0..6 holds 9, 21, 37, 57, 89, 121 and 157 cells.

// clang-format off
// x step toward the centre; row b (0..14) of 15 entries by a.
const int8_t vis_dirx[225] = {
     1,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1,
     1,  1,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1, -1,
     1,  1,  1,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1, -1, -1,
     1,  1,  1,  1,  0,  0,  0,  0,  0,  0,  0, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  0,  0,  0,  0,  0, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  1,  0,  0,  0, -1, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  1,  1,  0, -1, -1, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  1,  1,  0, -1, -1, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  1,  1,  0, -1, -1, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  1,  0,  0,  0, -1, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  0,  0,  0,  0,  0, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  0,  0,  0,  0,  0,  0,  0, -1, -1, -1, -1,
     1,  1,  1,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1, -1, -1,
     1,  1,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1, -1,
     1,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1,
};

// y step toward the centre; row b (0..14) of 15 entries by a.
const int8_t vis_diry[225] = {
     1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,
     0,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  0,
     0,  0,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  0,  0,
     0,  0,  0,  1,  1,  1,  1,  1,  1,  1,  1,  1,  0,  0,  0,
     0,  0,  0,  0,  1,  1,  1,  1,  1,  1,  1,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  1,  1,  1,  1,  1,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  1,  1,  1,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0, -1, -1, -1,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0, -1, -1, -1, -1, -1,  0,  0,  0,  0,  0,
     0,  0,  0,  0, -1, -1, -1, -1, -1, -1, -1,  0,  0,  0,  0,
     0,  0,  0, -1, -1, -1, -1, -1, -1, -1, -1, -1,  0,  0,  0,
     0,  0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  0,  0,
     0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  0,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
};

// Window of each sight: [sight 0..6][|dy| 0..7][|dx| 0..7], 1 = in the window.
const uint16_t FOV_mask[448] = {
     1,  1,  0,  0,  0,  0,  0,  0,
     1,  1,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     1,  1,  1,  0,  0,  0,  0,  0,
     1,  1,  1,  0,  0,  0,  0,  0,
     1,  1,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     1,  1,  1,  1,  0,  0,  0,  0,
     1,  1,  1,  1,  0,  0,  0,  0,
     1,  1,  1,  0,  0,  0,  0,  0,
     1,  1,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     1,  1,  1,  1,  1,  0,  0,  0,
     1,  1,  1,  1,  1,  0,  0,  0,
     1,  1,  1,  1,  0,  0,  0,  0,
     1,  1,  1,  0,  0,  0,  0,  0,
     1,  1,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     1,  1,  1,  1,  1,  1,  0,  0,
     1,  1,  1,  1,  1,  1,  0,  0,
     1,  1,  1,  1,  1,  0,  0,  0,
     1,  1,  1,  1,  1,  0,  0,  0,
     1,  1,  1,  1,  0,  0,  0,  0,
     1,  1,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     1,  1,  1,  1,  1,  1,  1,  0,
     1,  1,  1,  1,  1,  1,  1,  0,
     1,  1,  1,  1,  1,  1,  0,  0,
     1,  1,  1,  1,  1,  1,  0,  0,
     1,  1,  1,  1,  1,  0,  0,  0,
     1,  1,  1,  1,  0,  0,  0,  0,
     1,  1,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,
     1,  1,  1,  1,  1,  1,  1,  1,
     1,  1,  1,  1,  1,  1,  1,  1,
     1,  1,  1,  1,  1,  1,  1,  0,
     1,  1,  1,  1,  1,  1,  1,  0,
     1,  1,  1,  1,  1,  1,  0,  0,
     1,  1,  1,  1,  1,  0,  0,  0,
     1,  1,  1,  1,  0,  0,  0,  0,
     1,  1,  0,  0,  0,  0,  0,  0,
};
// clang-format on

#define VIS_SIDE 15
#define VIS_CENTRE 7
#define MAX_SIGHT 6

// Visibility step for grid cell (a, b) of a creature: copies the value of the
// neighbour toward the centre and lowers it where the cell stops sight.
void VisProc(unsigned short creature, short a, short b) {
    if (creature >= MAX_NPCS || a < 0 || a >= VIS_SIDE || b < 0 || b >= VIS_SIDE)
        return;
    int sx = vis_dirx[b * VIS_SIDE + a];
    int sy = vis_diry[b * VIS_SIDE + a];
    int8_t v = vis[(a + sx) * VIS_SIDE + (b + sy)];
    vis[a * VIS_SIDE + b] = v;
    if (v <= 0)
        return;
    if (v == 1) {
        vis[a * VIS_SIDE + b] = 0; // seen neighbour stops sight
        return;
    }
    int x = npc_x[creature] + a - VIS_CENTRE;
    int y = npc_y[creature] + b - VIS_CENTRE;
    int z = (uint8_t)npc_z[creature];
    if (!InLevel(x, y, z) || tileblock[map[CELL(x, y, z)]] > 4)
        vis[a * VIS_SIDE + b] = (int8_t)(v - 1); // seen, but stops sight
}

// Builds the view package of a creature in server_msg: header, one colour and
// glyph pair per window cell inside the level, then the six attributes.
void PreparePackage(unsigned short creature) {
    if (creature >= MAX_NPCS)
        return;
    uint8_t sight = npc_sight[creature];
    // Only sights 0..6 fit the tables; a larger stored sight is sent as it is
    // but the view is cut to sight 6.
    int s = sight > MAX_SIGHT ? MAX_SIGHT : sight;
    int px = npc_x[creature];
    int py = npc_y[creature];
    int z = (uint8_t)npc_z[creature];

    server_msg[0] = (uint8_t)(turn & 0xff);
    server_msg[1] = (uint8_t)((turn >> 8) & 0xff);
    server_msg[2] = (uint8_t)((turn >> 16) & 0xff);
    server_msg[3] = (uint8_t)((turn >> 24) & 0xff);
    server_msg[4] = sight;
    server_msg[5] = (uint8_t)(px & 0xff);
    server_msg[6] = (uint8_t)(py & 0xff);
    server_msg[7] = (uint8_t)z;

    // Rings from the inside out, each clockwise from its top-left corner.
    vis[VIS_CENTRE * VIS_SIDE + VIS_CENTRE] = 2;
    for (int r = 1; r <= s + 1; r++) {
        int lo = VIS_CENTRE - r, hi = VIS_CENTRE + r;
        for (int a = lo; a < hi; a++)
            VisProc(creature, (short)a, (short)lo);
        for (int b = lo; b < hi; b++)
            VisProc(creature, (short)hi, (short)b);
        for (int a = hi; a > lo; a--)
            VisProc(creature, (short)a, (short)hi);
        for (int b = hi; b > lo; b--)
            VisProc(creature, (short)lo, (short)b);
    }

    // Window cells row by row; hidden cells keep their colour, glyph 0.
    uint16_t pos = 8;
    for (int y = py - s - 1; y <= py + s + 1; y++) {
        for (int x = px - s - 1; x <= px + s + 1; x++) {
            int dx = zabs(x - px), dy = zabs(y - py);
            if (!FOV_mask[s * 64 + dy * 8 + dx])
                continue;
            if (!InLevel(x, y, z))
                continue;
            int cell = CELL(x, y, z);
            uint16_t o = npc_vis[cell];
            if (o != 0 && o <= MAX_NPCS) {
                server_msg[pos] = npc_color[o - 1];
                server_msg[pos + 1] = npc_char[o - 1];
            } else {
                uint8_t t = map[cell];
                server_msg[pos] = tilecolor[t];
                server_msg[pos + 1] = tilechar[t];
            }
            if (vis[(x - px + VIS_CENTRE) * VIS_SIDE + (y - py + VIS_CENTRE)] <= 0)
                server_msg[pos + 1] = 0;
            pos += 2;
        }
    }

    server_msg[pos] = npc_str[creature];
    server_msg[pos + 1] = npc_dex[creature];
    server_msg[pos + 2] = npc_con[creature];
    server_msg[pos + 3] = npc_int[creature];
    server_msg[pos + 4] = npc_wis[creature];
    server_msg[pos + 5] = npc_cha[creature];
}
