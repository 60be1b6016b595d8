// Client view: decodes player 0's package into the screen and the map memory,
// follows the player with the camera, prints the status line and writes the
// player's move command back for the server.
#include "client/gameclient.h"

#include <stdio.h>
#include <string.h>

#include "console/render.h"
#include "console/sfont.h"
#include "math/zmath.h"
#include "platform/platform.h"
#include "resources/tiles.h"
#include "world/package.h"
#include "world/world.h"

// State declared in gameclient.h.
uint8_t map_memory[WORLD_CELLS];
int32_t playerturn[MAX_CLIENTS];
int32_t playerlastturn[MAX_CLIENTS];
int32_t playerx[MAX_CLIENTS];
int32_t playery[MAX_CLIENTS];
int32_t camerax[MAX_CLIENTS];
int32_t cameray[MAX_CLIENTS];

// Camera on one axis: centred on the player, kept from running left of 0 and,
// when the level is wider than the screen, from running past its last cell.
static int32_t CameraAxis(int pos, int cells, int levelmax) {
    int half = cells >= 0 ? cells / 2 : -((1 - cells) / 2); // rounded down
    int32_t c = pos - half;
    if (c < 0)
        return 0;
    if (cells < levelmax && c + cells - 1 > levelmax)
        return levelmax - cells + 1;
    return c;
}

// Screen row i, columns from..to, outside the level: the glyph of tile 0,
// colours left as they are.
static void ShowOutside(int i, int from, int to) {
    const uint8_t blank = tilechar[0];
    for (int j = from; j <= to; j++)
        scch[CON_CELL(j, i)] = blank;
}

// Screen row i, columns from..to, inside the level but not seen now: the
// remembered glyph of world cell (cx + j, wy) in the colour of unseen cells.
static void ShowRemembered(int i, int from, int to, int cx, int wy) {
    int memo = CELL(cx + from, wy, 0);
    for (int j = from; j <= to; j++, memo += CELL(1, 0, 0)) {
        scch[CON_CELL(j, i)] = map_memory[memo];
        sccl[CON_CELL(j, i)] = UNSEEN_COLOUR;
        sccb[CON_CELL(j, i)] = 0;
    }
}

void RecieveData(uint8_t slot) {
    if (slot >= MAX_CLIENTS)
        return;
    int32_t t = PackageTurn(&net_server_msg[slot * SERVER_SLOT]);
    if (t != playerlastturn[slot]) {
        net_client_msg[slot * CLIENT_SLOT + 0] = 0;
        net_client_msg[slot * CLIENT_SLOT + 1] = 0;
    }
    playerturn[slot] = t;
}

void SendData() {}

int ProcClient() {
    const uint8_t *pkg = net_server_msg; // slot 0
    uint8_t *cmd = net_client_msg;       // slot 0

    // Turn check: a new package withdraws the command it answered.
    playerturn[0] = PackageTurn(pkg);
    if (playerturn[0] != playerlastturn[0]) {
        cmd[0] = 0;
        cmd[1] = 0;
    }

    // Grid: n columns, the top h rows are the map, row h is the status row.
    int n = GridCells(Screen_Width, charx);
    int rows = GridCells(Screen_Height, chary);
    if (charx == 0 || chary == 0)
        n = rows = 0; // a zero cell size: no grid at all
    int h = rows - 1;

    uint8_t s = pkg[PACKAGE_SIGHT];
    if (s >= MAX_SIGHT)
        s = MAX_SIGHT;
    int x = pkg[PACKAGE_X];
    int y = pkg[PACKAGE_Y];
    playerx[0] = x;
    playery[0] = y;

    camerax[0] = CameraAxis(x, n, mapsizex[0]);
    cameray[0] = CameraAxis(y, h, mapsizey[0]);
    uint8_t px = (uint8_t)(x - camerax[0]);
    uint8_t py = (uint8_t)(y - cameray[0]);

    // Cells, in the order the server wrote the window's pairs: rows top to
    // bottom, columns left to right, one pair per window cell in the level.
    // Columns jlo..jhi show cells inside the level; of those, only the band
    // within sight + 1 of the player's column, in rows within sight + 1 of
    // the player's row, can be in view.
    const int32_t cx = camerax[0], cy = cameray[0];
    const int xmax = mapsizex[0] < WORLD_X ? mapsizex[0] : WORLD_X - 1;
    const int ymax = mapsizey[0] < WORLD_Y ? mapsizey[0] : WORLD_Y - 1;
    const int jlo = cx < 0 ? (int)-cx : 0;
    const int jhi = xmax - cx < n - 1 ? xmax - cx : n - 1;
    const int reach = s + 1;
    uint16_t p = PACKAGE_CELLS;
    for (int i = 0; i < h; i++) {
        const int32_t wy = cy + i;
        if (wy < 0 || wy > ymax || jlo > jhi) {
            ShowOutside(i, 0, n - 1);
            continue;
        }
        ShowOutside(i, 0, jlo - 1);
        ShowOutside(i, jhi + 1, n - 1);
        const int ady = zabs(i - py);
        int blo = jhi + 1, bhi = jhi; // columns that may be in view
        if (ady <= reach) {
            blo = px - reach > jlo ? px - reach : jlo;
            bhi = px + reach < jhi ? px + reach : jhi;
            if (blo > bhi) { // the player's column is too far off the screen
                blo = jhi + 1;
                bhi = jhi;
            }
        }
        ShowRemembered(i, jlo, blo - 1, cx, wy);
        for (int j = blo; j <= bhi; j++) {
            const int k = CON_CELL(j, i), memo = CELL(cx + j, wy, 0);
            if (FOV_mask[s * 64 + ady * 8 + zabs(j - px)] != 0 && p + 1 < SERVER_SLOT) {
                const uint8_t c = pkg[p];
                const uint8_t g = pkg[p + 1];
                p += 2;
                if (g != 0) { // seen
                    map_memory[memo] = g;
                    scch[k] = g;
                    sccl[k] = c;
                    sccb[k] = 0;
                    continue;
                }
            }
            ShowRemembered(i, j, j, cx, wy);
        }
        ShowRemembered(i, bhi + 1, jhi, cx, wy);
    }

    // Status line on the status row; the background there is left alone.
    if (h >= 0) {
        char text[64];
        snprintf(text, sizeof text, "Player%i X:%i Y:%i Turn:%i                        ", 0,
                 (int)playerx[0], (int)playery[0], (int)playerturn[0]);
        size_t len = strnlen(text, sizeof text);
        for (size_t q = 0; q < len && q < CON_W; q++) {
            scch[CON_CELL(q, h)] = (uint8_t)text[q];
            sccl[CON_CELL(q, h)] = 1;
        }
    }

    // Command: the direction held now, as a move code; a released pad leaves
    // the command already set for the next turn.
    if (controlpad[0].dir != 255) {
        cmd[0] = 1;
        cmd[1] = (uint8_t)(controlpad[0].dir + 1);
    }

    cursor_x = px;
    cursor_y = py;
    playerlastturn[0] = playerturn[0];
    return 0;
}
