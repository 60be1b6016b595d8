// The world's state, with the start values the game relies on.
#include "world/world.h"

uint8_t map[WORLD_CELLS];
uint16_t mapsizex[WORLD_LEVELS];
uint16_t mapsizey[WORLD_LEVELS];
uint16_t npc_vis[WORLD_CELLS];
uint16_t npcs;
uint32_t turn;
int16_t npc_x[MAX_NPCS];
int16_t npc_y[MAX_NPCS];
int16_t npc_z[MAX_NPCS];
uint8_t npc_enabled[MAX_NPCS];
uint8_t npc_playercontrol[MAX_NPCS];
uint8_t npc_move[MAX_NPCS];
uint8_t npc_sight[MAX_NPCS];
uint8_t npc_char[MAX_NPCS];
uint8_t npc_color[MAX_NPCS];
uint8_t npc_str[MAX_NPCS];
uint8_t npc_dex[MAX_NPCS];
uint8_t npc_con[MAX_NPCS];
uint8_t npc_int[MAX_NPCS];
uint8_t npc_wis[MAX_NPCS];
uint8_t npc_cha[MAX_NPCS];
uint8_t server_msg[SERVER_SLOT];
uint8_t client_msg[CLIENT_SLOT];
uint8_t net_server_msg[MAX_CLIENTS * SERVER_SLOT];
uint8_t net_client_msg[MAX_CLIENTS * CLIENT_SLOT];
int16_t localclient[MAX_CLIENTS];
uint8_t clientplayers = 1;
uint32_t curgametick;
uint32_t lastgametick;
uint16_t gamestepdelay = 500;

// In-level test shared by movement, field of view and the observer.
int InLevel(int x, int y, int z) {
    if (z < 0 || z >= WORLD_LEVELS)
        return 0;
    if (x < 0 || y < 0 || x >= WORLD_X || y >= WORLD_Y)
        return 0;
    return x <= mapsizex[z] && y <= mapsizey[z];
}
