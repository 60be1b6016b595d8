// The game state: every global of the game, statically allocated and alive
// for the whole run. Everything not given a start value starts at zero.
#ifndef MD_GAME_GLOBALVAR_H
#define MD_GAME_GLOBALVAR_H

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

// Cell grid: column * 256 + row.
#define CON_W 256
#define CON_H 256
#define CON_CELLS (CON_W * CON_H)
#define CON_CELL(col, row) ((col)*CON_H + (row)) // index of a cell of the grid
#define SCRBUF_SIZE 1024000

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

// Tile table, indexed by tile number
extern uint8_t tiletypes;      // number of tile entries read
extern uint8_t tilechar[256];  // glyph of the tile
extern uint8_t tilecolor[256]; // colour byte of the tile
extern uint8_t tileblock[256]; // blocking value; above 4 stops movement and sight
extern char tilename[256][32]; // tile name, zero-terminated

// Client side, one entry per local client slot
extern uint8_t map_memory[WORLD_CELLS];     // glyph last seen in each cell, 0 never seen
extern int32_t playerturn[MAX_CLIENTS];     // turn number of the package in hand
extern int32_t playerlastturn[MAX_CLIENTS]; // turn number seen in the previous frame
extern int32_t playerx[MAX_CLIENTS];        // player position as the package gives it
extern int32_t playery[MAX_CLIENTS];
extern int32_t camerax[MAX_CLIENTS]; // world cell shown in the top-left screen cell
extern int32_t cameray[MAX_CLIENTS];

// Exchange between server and clients
extern uint8_t server_msg[SERVER_SLOT];                   // package being built
extern uint8_t client_msg[CLIENT_SLOT];                   // copy of the command being applied
extern uint8_t net_server_msg[MAX_CLIENTS * SERVER_SLOT]; // package slots, server to client
extern uint8_t net_client_msg[MAX_CLIENTS * CLIENT_SLOT]; // command slots, client to server
extern int16_t localclient[MAX_CLIENTS]; // creature of each client slot, negative for none
extern uint8_t clientplayers;            // local client players (1); 0 shows the observer view

// Cell grid, font and screen
extern uint8_t scch[CON_CELLS];              // glyph code of each cell
extern uint8_t sccl[CON_CELLS];              // foreground colour byte of each cell
extern uint8_t sccb[CON_CELLS];              // background colour byte of each cell
extern uint8_t cursor_x;                     // column of the blinking cursor
extern uint8_t cursor_y;                     // row of the blinking cursor
extern uint8_t fontdata[65536];              // font image, 1 ink / 0 background per pixel
extern uint16_t fontx, fonty;                // font image size in pixels
extern uint16_t charx, chary;                // glyph cell size in pixels
extern uint8_t scrbuf[SCRBUF_SIZE];          // the 8-bit frame, Screen_Width bytes per row
extern uint16_t Screen_Width, Screen_Height; // frame size in pixels (320 x 240)
extern uint16_t FullScreen;                  // third value of the client configuration, unused
extern uint8_t palette[256 * 3];             // red, green, blue of each colour byte

// Strings
extern char str_item[256][64]; // string table; rows 0..4 are the menu labels

// Frame, timing and mode flags
extern uint32_t count;          // frames completed
extern uint32_t curgametick;    // tick taken at the start of the frame
extern uint32_t lastgametick;   // curgametick of the frame of the last turn
extern uint16_t gamestepdelay;  // milliseconds to exceed between turns (500)
extern uint8_t GameLoopEnabled; // frame loop runs while non-zero (1)
extern uint8_t MainMenuEnabled; // main menu open while non-zero

// Sound settings (no sound is produced)
extern uint8_t s_channel; // sound channel counter, cycles 1, 2
extern uint8_t volume;    // sound volume setting
extern uint8_t SoundMode; // sound mode setting

// Observer view and menu
extern int32_t servercamerax, servercameray; // observer camera, top-left world cell
extern int16_t ServerViewLevel;              // level shown by the observer view
extern int16_t ServerClients;                // number shown as on-line
extern int8_t menucursor;                    // selected menu item 0..4
extern int32_t ms_menudelay;                 // selection delay left, milliseconds
extern uint32_t curtick, lasttick;           // ticks of this and the previous menu frame

// Work areas of the field of view
extern int8_t vis[225]; // 15 x 15 visibility grid, x-major

#endif
