// Definitions of the game state, with the start values the game relies on.
#include "game/globalvar.h"

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

uint8_t tiletypes;
uint8_t tilechar[256];
uint8_t tilecolor[256];
uint8_t tileblock[256];
char tilename[256][32];

uint8_t map_memory[WORLD_CELLS];
int32_t playerturn[MAX_CLIENTS];
int32_t playerlastturn[MAX_CLIENTS];
int32_t playerx[MAX_CLIENTS];
int32_t playery[MAX_CLIENTS];
int32_t camerax[MAX_CLIENTS];
int32_t cameray[MAX_CLIENTS];

uint8_t server_msg[SERVER_SLOT];
uint8_t client_msg[CLIENT_SLOT];
uint8_t net_server_msg[MAX_CLIENTS * SERVER_SLOT];
uint8_t net_client_msg[MAX_CLIENTS * CLIENT_SLOT];
int16_t localclient[MAX_CLIENTS];
uint8_t clientplayers = 1;

uint8_t scch[CON_CELLS];
uint8_t sccl[CON_CELLS];
uint8_t sccb[CON_CELLS];
uint8_t cursor_x;
uint8_t cursor_y;
alignas(16) uint8_t fontdata[65536]; // aligned for word-wide glyph rows
uint16_t fontx, fonty;
uint16_t charx, chary;
alignas(64) uint8_t scrbuf[SCRBUF_SIZE]; // aligned to cache lines for whole-line stores
uint16_t Screen_Width, Screen_Height;
uint16_t FullScreen;
uint8_t palette[256 * 3];

char str_item[256][64];

uint32_t count;
uint32_t curgametick;
uint32_t lastgametick;
uint16_t gamestepdelay = 500;
uint8_t GameLoopEnabled = 1;
uint8_t MainMenuEnabled;

uint8_t s_channel = 1;
uint8_t volume;
uint8_t SoundMode;

int32_t servercamerax, servercameray;
int16_t ServerViewLevel;
int16_t ServerClients;
int8_t menucursor;
int32_t ms_menudelay;
uint32_t curtick, lasttick;

int8_t vis[225];
