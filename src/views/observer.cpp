// Observer view: a scrollable window onto a whole server level with every
// creature, and a status line on the screen's last text row.
#include "views/observer.h"

#include <stdio.h>
#include <string.h>

#include "console/render.h"
#include "console/sfont.h"
#include "platform/platform.h"
#include "resources/tiles.h"
#include "world/gameserver.h"
#include "world/world.h"

// State declared in observer.h.
int32_t servercamerax, servercameray;
int16_t ServerViewLevel;
int16_t ServerClients;

// Draws the observer's window onto level ServerViewLevel, scrolled by pad 0,
// and writes the status line over the previous one.
void RenderServer() {
    int cols = GridCells(Screen_Width, charx);
    int rows = GridCells(Screen_Height, chary);

    uint8_t d = controlpad[0].dir;
    if (d < 8) {
        // The camera is not clamped; it wraps instead of overflowing. It
        // steps as move code d + 1 does.
        servercamerax = (int32_t)((uint32_t)servercamerax + (uint32_t)table_movex[d + 1]);
        servercameray = (int32_t)((uint32_t)servercameray + (uint32_t)table_movey[d + 1]);
    }

    int z = ServerViewLevel;
    for (int j = 0; j < cols; j++) {
        for (int i = 0; i < rows - 1; i++) {
            int con = CON_CELL(j, i);
            int64_t wx = (int64_t)servercamerax + j;
            int64_t wy = (int64_t)servercameray + i;
            // Off-level cells get colour 0 and keep their glyph.
            if (wx < 0 || wy < 0 || wx >= WORLD_X || wy >= WORLD_Y ||
                !InLevel((int)wx, (int)wy, z)) {
                sccl[con] = 0;
                continue;
            }
            int cell = CELL((int)wx, (int)wy, z);
            uint16_t m = npc_vis[cell];
            if (m != 0 && m <= MAX_NPCS) {
                scch[con] = npc_char[m - 1];
                sccl[con] = npc_color[m - 1];
            } else {
                uint8_t t = map[cell];
                scch[con] = tilechar[t];
                sccl[con] = tilecolor[t];
            }
        }
    }

    if (cols >= 1 && rows >= 2) {
        char text[64];
        int len = snprintf(text, sizeof text, "OnLine: %i Npc: %i Lvl: %i", (int)ServerClients,
                           (int)npcs, (int)ServerViewLevel);
        if (len > (int)sizeof text - 1)
            len = (int)sizeof text - 1;
        for (int k = 0; k < len && k < CON_W; k++) {
            scch[CON_CELL(k, rows - 1)] = (uint8_t)text[k];
            sccl[CON_CELL(k, rows - 1)] = 1;
        }
    }
}

void ObserverStatus(const char *text) {
    int cols = GridCells(Screen_Width, charx);
    int rows = GridCells(Screen_Height, chary);
    if (cols < 1 || rows < 2)
        return;
    size_t len = strlen(text);
    for (int k = 0; k < cols && k < CON_W; k++) {
        scch[CON_CELL(k, rows - 1)] = (uint8_t)((size_t)k < len ? text[k] : ' ');
        sccl[CON_CELL(k, rows - 1)] = 1;
    }
}
