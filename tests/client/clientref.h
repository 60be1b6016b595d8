// Reference implementation of the client view that the fast loop is checked
// against: every cell tested on its own, without the level and view bands.
// ReferenceProcClient is a whole ProcClient written that way.
#ifndef MD_TESTS_CLIENT_CLIENTREF_H
#define MD_TESTS_CLIENT_CLIENTREF_H

#include <stdio.h>
#include <string.h>

#include "client/gameclient.h"
#include "console/render.h"
#include "console/sfont.h"
#include "math/zmath.h"
#include "platform/platform.h"
#include "resources/tiles.h"
#include "world/package.h"
#include "world/world.h"

static int RefGridCells(uint16_t pixels, uint16_t cell) {
    if (cell == 0)
        return 0;
    int cells = pixels / cell;
    return cells > 255 ? 255 : cells;
}

static int32_t RefCameraAxis(int pos, int cells, int levelmax) {
    int half = cells >= 0 ? cells / 2 : -((1 - cells) / 2);
    int32_t c = pos - half;
    if (c < 0)
        return 0;
    if (cells < levelmax && c + cells - 1 > levelmax)
        return levelmax - cells + 1;
    return c;
}

static int ReferenceProcClient() {
    const uint8_t *pkg = net_server_msg; // slot 0
    uint8_t *cmd = net_client_msg;       // slot 0

    // Turn check: a new package withdraws the command it answered.
    playerturn[0] = PackageTurn(pkg);
    if (playerturn[0] != playerlastturn[0]) {
        cmd[0] = 0;
        cmd[1] = 0;
    }

    // Grid: n columns, the top h rows are the map, row h is the status row.
    int n = RefGridCells(Screen_Width, charx);
    int rows = RefGridCells(Screen_Height, chary);
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

    camerax[0] = RefCameraAxis(x, n, mapsizex[0]);
    cameray[0] = RefCameraAxis(y, h, mapsizey[0]);
    uint8_t px = (uint8_t)(x - camerax[0]);
    uint8_t py = (uint8_t)(y - cameray[0]);

    // Cells, in the order the server wrote the window's pairs: rows top to
    // bottom, columns left to right, one pair per window cell in the level.
    uint16_t p = PACKAGE_CELLS;
    for (int i = 0; i < h; i++) {
        for (int j = 0; j < n; j++) {
            int32_t wx = camerax[0] + j;
            int32_t wy = cameray[0] + i;
            int k = j * 256 + i;
            if (wx < 0 || wy < 0 || wx > mapsizex[0] || wy > mapsizey[0] || wx >= WORLD_X ||
                wy >= WORLD_Y) {
                scch[k] = tilechar[0];
                continue;
            }
            int adx = zabs(j - px);
            int ady = zabs(i - py);
            bool inview = adx <= s + 1 && ady <= s + 1 && FOV_mask[s * 64 + ady * 8 + adx] != 0 &&
                          p + 1 < SERVER_SLOT;
            uint8_t *memo = &map_memory[CELL(wx, wy, 0)];
            if (inview) {
                uint8_t c = pkg[p];
                uint8_t g = pkg[p + 1];
                p += 2;
                if (g != 0) {
                    *memo = g;
                    scch[k] = g;
                    sccl[k] = c;
                    sccb[k] = 0;
                    continue;
                }
            }
            scch[k] = *memo;
            sccl[k] = 130;
            sccb[k] = 0;
        }
    }

    // Status line on the status row; the background there is left alone.
    if (h >= 0) {
        char text[64];
        snprintf(text, sizeof text, "Player%i X:%i Y:%i Turn:%i                        ", 0,
                 (int)playerx[0], (int)playery[0], (int)playerturn[0]);
        size_t len = strnlen(text, sizeof text);
        for (size_t q = 0; q < len && q < CON_W; q++) {
            scch[q * 256 + h] = (uint8_t)text[q];
            sccl[q * 256 + h] = 1;
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

#endif
