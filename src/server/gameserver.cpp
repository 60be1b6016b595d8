// Server turn: the exchange with the local clients, then the creature pass
// that moves every enabled creature by at most one cell, then the turn count.
#include "server/gameserver.h"

#include <string.h>

#include "game/globalvar.h"
#include "math/zmath.h"

// Cell steps of the move codes 0 (stay) and 1..8 (up, then clockwise).
const int32_t table_movex[9] = {0, 0, 1, 1, 1, 0, -1, -1, -1};
const int32_t table_movey[9] = {0, -1, -1, 0, 1, 1, 1, 0, -1};

#define MAX_MOVE 8

// In-level test shared by movement, field of view and the observer.
int InLevel(int x, int y, int z) {
    if (z < 0 || z >= WORLD_LEVELS)
        return 0;
    if (x < 0 || y < 0 || x >= WORLD_X || y >= WORLD_Y)
        return 0;
    return x <= mapsizex[z] && y <= mapsizey[z];
}

// One server turn: serve the clients, move the creatures, count the turn.
void ProcGameServer() {
    ProcLocalClients();
    ProcNPC();
    turn++;
}

// For every served slot: build its creature's package, hand 512 bytes of it
// to the slot, take the slot's command and apply it.
void ProcLocalClients() {
    int served = clientplayers < MAX_CLIENTS ? clientplayers : MAX_CLIENTS;
    for (int i = 0; i < served; i++) {
        int n = localclient[i];
        if (n < 0 || n >= MAX_NPCS)
            continue;
        PreparePackage((unsigned short)n);
        memcpy(net_server_msg + i * SERVER_SLOT, server_msg, PACKAGE_COPY);
        memcpy(client_msg, net_client_msg + i * CLIENT_SLOT, CLIENT_SLOT);
        ProcInput((unsigned short)n);
    }
}

// Gives the move code of the command in client_msg to an enabled creature.
void ProcInput(unsigned short creature) {
    if (creature >= MAX_NPCS)
        return;
    if (npc_enabled[creature])
        npc_move[creature] = client_msg[1];
}

// Marks or clears the occupancy entry of a creature's cell, if the cell lies
// on the world grid.
static void SetMark(int x, int y, int z, uint16_t mark) {
    if (x < 0 || y < 0 || z < 0 || x >= WORLD_X || y >= WORLD_Y || z >= WORLD_LEVELS)
        return;
    npc_vis[CELL(x, y, z)] = mark;
}

// The creature pass: in index order, each enabled creature clears the mark of
// its cell, is counted, chooses a move if it wanders, tries the move and marks
// the cell it ends on.
void ProcNPC() {
    npcs = 0;
    for (int i = 0; i < MAX_NPCS; i++) {
        if (!npc_enabled[i])
            continue;
        int z = npc_z[i];
        SetMark(npc_x[i], npc_y[i], z, 0);
        npcs++;
        if (npc_playercontrol[i] == 0)
            Proc_NPC_AI((unsigned short)i);
        uint8_t m = npc_move[i];
        if (m != 0 && m <= MAX_MOVE) { // codes above 8 are no move
            int nx = npc_x[i] + table_movex[m];
            int ny = npc_y[i] + table_movey[m];
            if (InLevel(nx, ny, z) && tileblock[map[CELL(nx, ny, z)]] <= 4 &&
                npc_vis[CELL(nx, ny, z)] == 0) {
                npc_x[i] = (int16_t)nx;
                npc_y[i] = (int16_t)ny;
            }
        }
        SetMark(npc_x[i], npc_y[i], z, (uint16_t)(i + 1));
    }
}

// Wandering rule: stay on a draw of 7, else move in the direction of a
// second draw.
void Proc_NPC_AI(unsigned short creature) {
    if (creature >= MAX_NPCS)
        return;
    npc_move[creature] = 0;
    if (random8() == 7)
        return;
    npc_move[creature] = (uint8_t)(random8() + 1);
}
