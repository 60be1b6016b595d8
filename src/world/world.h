// The world's state: the grid of levels, the creature table, the slots through
// which the server and the clients exchange bytes, and the turn clock. Everything
// not given a start value (world.cpp) starts at zero.
#ifndef MD_WORLD_WORLD_H
#define MD_WORLD_WORLD_H

#include <stdint.h>

// World grid: x * 12800 + y * 100 + z, x and y 0..127, level z 0..99.
#define WORLD_X 128
#define WORLD_Y 128
#define WORLD_LEVELS 100
#define WORLD_CELLS (WORLD_X * WORLD_Y * WORLD_LEVELS)
#define CELL(x, y, z) ((x)*12800 + (y)*100 + (z))
#define MAX_NPCS 1024
#define MAX_CLIENTS 4
#define SERVER_SLOT 2048 // bytes of one package slot of net_server_msg
#define CLIENT_SLOT 128  // bytes of one command slot of net_client_msg
#define PACKAGE_COPY 512 // bytes of a package carried to a client each turn

// World (server side)
extern uint8_t map[WORLD_CELLS];        // tile number of each world cell
extern uint16_t mapsizex[WORLD_LEVELS]; // largest valid x of each level, inclusive
extern uint16_t mapsizey[WORLD_LEVELS]; // largest valid y of each level, inclusive
extern uint16_t npc_vis[WORLD_CELLS];   // occupancy: 0 empty, k + 1 creature k stands here
extern uint16_t npcs;                   // enabled creatures counted by the last turn
extern uint32_t turn;                   // server turn counter

// Creature table, indexed by creature number
extern int16_t npc_x[MAX_NPCS];             // cell x
extern int16_t npc_y[MAX_NPCS];             // cell y
extern int16_t npc_z[MAX_NPCS];             // level (always 0)
extern uint8_t npc_enabled[MAX_NPCS];       // non-zero: exists and takes part in turns
extern uint8_t npc_playercontrol[MAX_NPCS]; // 0 wanders, c + 1 player creature of client c
extern uint8_t npc_move[MAX_NPCS];          // move code of the current turn, 0..8
extern uint8_t npc_sight[MAX_NPCS];         // sight radius in cells
extern uint8_t npc_char[MAX_NPCS];          // glyph shown for the creature
extern uint8_t npc_color[MAX_NPCS];         // colour byte of that glyph
extern uint8_t npc_str[MAX_NPCS];           // attributes, carried in the package only
extern uint8_t npc_dex[MAX_NPCS];
extern uint8_t npc_con[MAX_NPCS];
extern uint8_t npc_int[MAX_NPCS];
extern uint8_t npc_wis[MAX_NPCS];
extern uint8_t npc_cha[MAX_NPCS];

// Exchange between server and clients
extern uint8_t server_msg[SERVER_SLOT];                   // package being built
extern uint8_t client_msg[CLIENT_SLOT];                   // copy of the command being applied
extern uint8_t net_server_msg[MAX_CLIENTS * SERVER_SLOT]; // package slots, server to client
extern uint8_t net_client_msg[MAX_CLIENTS * CLIENT_SLOT]; // command slots, client to server
extern int16_t localclient[MAX_CLIENTS]; // creature of each client slot, negative for none
extern uint8_t clientplayers;            // local client players (1); 0 shows the observer view

// Non-zero when cell (x, y) lies inside level z: 0 <= x <= mapsizex[z] and
// 0 <= y <= mapsizey[z]; also zero for any cell or level off the world grid.
int InLevel(int x, int y, int z);

// The turn clock
extern uint32_t curgametick;   // tick taken at the start of the frame
extern uint32_t lastgametick;  // curgametick of the frame of the last turn
extern uint16_t gamestepdelay; // milliseconds to exceed between turns (500)

// Whether a server turn is due at tick now: strictly more than gamestepdelay
// ms since the last turn (lastgametick), counted modulo 2^32.
inline bool TurnDue(uint32_t now) {
    return now - lastgametick > gamestepdelay;
}

#endif
