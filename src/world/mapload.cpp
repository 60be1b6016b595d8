// Map file and server restart: level 0 from data/maptest.map, the local
// client binding, the player creatures and the wandering creatures; and the
// data the server loads without a display.
#include "world/mapload.h"

#include <stdio.h>

#include "math/tables.h"
#include "resources/errorline.h"
#include "resources/tiles.h"
#include "resources/tokens.h"
#include "world/world.h"

#define MAP_FILE "data/maptest.map"
#define ROW_BUF 256 // a row token keeps at most 255 characters
#define WANDER_FIRST 4
#define WANDER_LAST 49

// Loads level 0: one token per row, its leading digits the tile numbers of
// the row's cells. The width comes from the last row, the height from the
// number of rows. Rows past 128 are ignored as if the file ended there, and
// digits past x = 127 are not stored, so both sizes stay within 0..127.
void LoadDemoMap() {
    char row[ROW_BUF];
    int y = 0;                        // rows taken
    int n = 0;                        // digit count of the last row, at most 128
    FILE *f = OpenResource(MAP_FILE); // complains itself when missing
    if (f) {
        while (y < WORLD_Y && ReadToken(f, row, ROW_BUF)) {
            int x = 0;
            while (row[x] >= '0' && row[x] <= '9') {
                if (x < WORLD_X)
                    map[CELL(x, y, 0)] = (uint8_t)(row[x] - '0');
                x++;
            }
            n = x < WORLD_X ? x : WORLD_X;
            y++;
        }
        fclose(f);
        if (y == 0)
            ErrorLine("%s holds no rows", MAP_FILE);
    }
    tilechar[0] = ' ';
    if (y == 0) {
        // No file or no row: level 0 is the single empty cell (0, 0).
        mapsizex[0] = 0;
        mapsizey[0] = 0;
        return;
    }
    // A last row without digits would give width -1; the level is then
    // taken as one column wide.
    mapsizex[0] = (uint16_t)(n > 0 ? n - 1 : 0);
    mapsizey[0] = (uint16_t)(y - 1);
}

// Starting state of the server: the map, client slot 0 on creature 0, one
// player creature per client player (at most four) and 46 wanderers on
// (22, 14).
void RestartServer() {
    LoadDemoMap();
    localclient[0] = 0;
    localclient[1] = -1;
    localclient[2] = -1;
    localclient[3] = -1;
    int players = clientplayers < MAX_CLIENTS ? clientplayers : MAX_CLIENTS;
    for (int k = 0; k < players; k++) {
        npc_playercontrol[k] = (uint8_t)(k + 1);
        npc_enabled[k] = 1;
        npc_sight[k] = 6;
        npc_char[k] = '@';
        npc_color[k] = 1;
        npc_move[k] = 0;
        npc_y[k] = (int16_t)(k + 4);
        npc_x[k] = (int16_t)(2 * k + 2);
    }
    for (int k = WANDER_FIRST; k <= WANDER_LAST; k++)
        PlaceWanderer(k);
}

// Makes creature k a wanderer standing on the wanderers' start cell.
void PlaceWanderer(int k) {
    npc_enabled[k] = 1;
    npc_sight[k] = 6;
    npc_char[k] = 'w';
    npc_color[k] = 15;
    npc_move[k] = 0;
    npc_y[k] = 14;
    npc_x[k] = 22;
}

void LoadServerData() {
    LoadTiles();
    LoadTables();
}

void StartWorld(int players, int setup) {
    clientplayers = (uint8_t)players;
    RestartServer();
    for (int i = 0; i < MAX_CLIENTS; i++)
        localclient[i] = (int16_t)(i < players ? i : -1);
    if (setup != SETUP_ALL)
        return;
    for (int k = players; k < MAX_NPCS; k++) {
        PlaceWanderer(k);
        npc_playercontrol[k] = 0;
    }
}
