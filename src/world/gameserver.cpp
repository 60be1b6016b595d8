// Server turn: the exchange with the local clients, then the creature pass
// that moves every enabled creature by at most one cell, then the turn count.
#include "world/gameserver.h"

#include <string.h>

#include "math/zmath.h"
#include "resources/tiles.h"
#include "world/world.h"

// Cell steps of the move codes 0 (stay) and 1..8 (up, then clockwise).
const int32_t table_movex[9] = {0, 0, 1, 1, 1, 0, -1, -1, -1};
const int32_t table_movey[9] = {0, -1, -1, 0, 1, 1, 1, 0, -1};

#define MAX_MOVE 8

// One server turn: serve the clients, move the creatures, count the turn.
void ProcGameServer() {
    ProcLocalClients();
    ProcNPC();
    turn++;
}

int ServedCreature(int slot) {
    int served = clientplayers < MAX_CLIENTS ? clientplayers : MAX_CLIENTS;
    if (slot < 0 || slot >= served)
        return -1;
    int n = localclient[slot];
    return n >= 0 && n < MAX_NPCS ? n : -1;
}

// For every served slot: build its creature's package, hand 512 bytes of it
// to the slot, take the slot's command and apply it.
void ProcLocalClients() {
    for (int i = 0; i < MAX_CLIENTS; i++) {
        int n = ServedCreature(i);
        if (n < 0)
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

// The wandering rule's move from the random stream at *seed, which it
// advances as random8() would: 0 (stay) on a first draw of 7, else a second
// draw plus one.
static inline uint8_t WanderMove(unsigned *seed) {
    unsigned at = *seed;
    const unsigned first = table_rnd[at & 1023] & 7;
    at = (at + 1) & 1023;
    uint8_t move = 0;
    if (first != 7) {
        move = (uint8_t)((table_rnd[at] & 7) + 1);
        at = (at + 1) & 1023;
    }
    *seed = at;
    return move;
}

// The creature pass: in index order, each enabled creature clears the mark of
// its cell, is counted, chooses a move if it wanders, tries the move and marks
// the cell it ends on. The stream position stays in a register for the pass.
void ProcNPC() {
    unsigned seed = rnd_seed;
    unsigned counted = 0;
    for (int i = 0; i < MAX_NPCS; i++) {
        if (!npc_enabled[i])
            continue;
        const int x = npc_x[i], y = npc_y[i], z = npc_z[i];
        // A creature placed off the world grid by hand has no mark to clear.
        const bool marked =
            (unsigned)x < WORLD_X && (unsigned)y < WORLD_Y && (unsigned)z < WORLD_LEVELS;
        const int cell = CELL(x, y, z);
        if (marked)
            npc_vis[cell] = 0;
        counted++;
        if (npc_playercontrol[i] == 0)
            npc_move[i] = WanderMove(&seed);
        const uint8_t m = npc_move[i];
        int at = cell;
        bool ends = marked;
        if (m != 0 && m <= MAX_MOVE) { // codes above 8 are no move
            const int nx = x + table_movex[m], ny = y + table_movey[m];
            const int target = CELL(nx, ny, z);
            if (InLevel(nx, ny, z) && tileblock[map[target]] <= 4 && npc_vis[target] == 0) {
                npc_x[i] = (int16_t)nx;
                npc_y[i] = (int16_t)ny;
                at = target; // inside a level, so on the world grid
                ends = true;
            }
        }
        if (ends)
            npc_vis[at] = (uint16_t)(i + 1);
    }
    npcs = (uint16_t)counted;
    rnd_seed = (uint16_t)seed;
}

// Wandering rule: stay on a draw of 7, else move in the direction of a
// second draw.
void Proc_NPC_AI(unsigned short creature) {
    if (creature >= MAX_NPCS)
        return;
    unsigned seed = rnd_seed;
    npc_move[creature] = WanderMove(&seed);
    rnd_seed = (uint16_t)seed;
}
