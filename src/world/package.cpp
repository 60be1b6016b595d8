// View package: the header, the window cells of the creature's sight in
// package order and its attributes (layout in package.h).
#include "world/package.h"

#include "resources/tiles.h"
#include "world/fov.h"
#include "world/world.h"

// The window mask of each sight is a run of ones from |dx| = 0 in every row;
// sight 0..6 holds 9, 21, 37, 57, 89, 121 and 157 cells.

// clang-format off
// Window of each sight: [sight 0..6][|dy| 0..7][|dx| 0..7], 1 = in the window.
constexpr uint16_t FOV_mask[448] = {
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

// The windows of sight 0..6 in package order (rows top to bottom, columns
// left to right), worked out once from the mask: sight s holds entries
// win_start[s] .. win_start[s + 1] - 1.
#define WINDOW_CELLS 491 // 9 + 21 + 37 + 57 + 89 + 121 + 157

struct PackageWindows {
    uint16_t win_start[MAX_SIGHT + 2];
    uint8_t win_at[WINDOW_CELLS]; // vis index of the window cell
    int8_t win_dx[WINDOW_CELLS];  // offset of the window cell from the creature
    int8_t win_dy[WINDOW_CELLS];
    int32_t win_cell[WINDOW_CELLS]; // the same offset in the world grid
};

// Lists the window cells of every sight in package order; run by the
// compiler.
static constexpr PackageWindows BuildPackageWindows() {
    PackageWindows w{};
    int n = 0;
    for (int s = 0; s <= MAX_SIGHT; s++) {
        w.win_start[s] = (uint16_t)n;
        for (int dy = -s - 1; dy <= s + 1; dy++)
            for (int dx = -s - 1; dx <= s + 1; dx++) {
                if (!FOV_mask[s * 64 + (dy < 0 ? -dy : dy) * 8 + (dx < 0 ? -dx : dx)])
                    continue;
                w.win_at[n] = (uint8_t)((dx + VIS_CENTRE) * VIS_SIDE + dy + VIS_CENTRE);
                w.win_dx[n] = (int8_t)dx;
                w.win_dy[n] = (int8_t)dy;
                w.win_cell[n] = CELL(dx, dy, 0);
                n++;
            }
    }
    w.win_start[MAX_SIGHT + 1] = (uint16_t)n;
    return w;
}

static constexpr PackageWindows package_windows = BuildPackageWindows();
static_assert(package_windows.win_start[MAX_SIGHT + 1] == WINDOW_CELLS, "window cells");

// Writes the colour and glyph pair of a world cell to the package: the
// creature's mark where one stands there, else the tile; glyph 0 if unseen.
static inline uint8_t *PutWindowCell(uint8_t *out, int cell, int8_t seen) {
    const unsigned o = npc_vis[cell];
    const uint8_t t = map[cell];
    uint8_t colour = tilecolor[t], glyph = tilechar[t];
    if (o - 1 < MAX_NPCS) { // a creature's mark
        colour = npc_color[o - 1];
        glyph = npc_char[o - 1];
    }
    out[0] = colour;
    out[1] = seen > 0 ? glyph : 0;
    return out + 2;
}

// The ring pass (FovPass) is VisProc over every cell of rings 1 .. sight + 1;
// where the square of those rings lies inside the level, no cell is tested
// for it.
void PreparePackage(unsigned short creature) {
    if (creature >= MAX_NPCS)
        return;
    const PackageWindows &w = package_windows;
    uint8_t sight = npc_sight[creature];
    // Only sights 0..6 fit the tables; a larger stored sight is sent as it is
    // but the view is cut to sight 6.
    const int s = sight > MAX_SIGHT ? MAX_SIGHT : sight;
    const int px = npc_x[creature];
    const int py = npc_y[creature];
    const int z = (uint8_t)npc_z[creature];

    server_msg[PACKAGE_TURN] = (uint8_t)(turn & 0xff);
    server_msg[PACKAGE_TURN + 1] = (uint8_t)((turn >> 8) & 0xff);
    server_msg[PACKAGE_TURN + 2] = (uint8_t)((turn >> 16) & 0xff);
    server_msg[PACKAGE_TURN + 3] = (uint8_t)((turn >> 24) & 0xff);
    server_msg[PACKAGE_SIGHT] = sight;
    server_msg[PACKAGE_X] = (uint8_t)(px & 0xff);
    server_msg[PACKAGE_Y] = (uint8_t)(py & 0xff);
    server_msg[PACKAGE_Z] = (uint8_t)z;

    // Inside: every cell of rings and window lies in the level (and the world).
    const int reach = s + 1;
    const bool inside = z < WORLD_LEVELS && px - reach >= 0 && py - reach >= 0 &&
                        px + reach <= mapsizex[z] && py + reach <= mapsizey[z] &&
                        px + reach < WORLD_X && py + reach < WORLD_Y;
    const int base = inside ? CELL(px, py, z) : 0;
    FovPass(px, py, z, s, inside, base);

    // Window cells in package order; hidden cells keep their colour, glyph 0.
    uint8_t *out = &server_msg[PACKAGE_CELLS];
    if (inside && s == MAX_SIGHT) {
        // Unrolled so that every cell offset is a constant.
#pragma GCC unroll 160
        for (int i = w.win_start[MAX_SIGHT]; i < WINDOW_CELLS; i++)
            out = PutWindowCell(out, base + w.win_cell[i], vis[w.win_at[i]]);
    } else {
        for (int i = w.win_start[s]; i < w.win_start[s + 1]; i++) {
            int cell = base + w.win_cell[i];
            if (!inside) {
                const int x = px + w.win_dx[i], y = py + w.win_dy[i];
                if (!InLevel(x, y, z))
                    continue;
                cell = CELL(x, y, z);
            }
            out = PutWindowCell(out, cell, vis[w.win_at[i]]);
        }
    }

    out[0] = npc_str[creature];
    out[1] = npc_dex[creature];
    out[2] = npc_con[creature];
    out[3] = npc_int[creature];
    out[4] = npc_wis[creature];
    out[5] = npc_cha[creature];
}
