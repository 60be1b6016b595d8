// Client view: decodes player 0's package into the screen and the map memory.
#ifndef MD_CLIENT_GAMECLIENT_H
#define MD_CLIENT_GAMECLIENT_H

#include <stdint.h>

#include "world/world.h"

#define UNSEEN_COLOUR 130 // base colour 2 at shade 8: every cell not in view

// One frame of the client view of player slot 0: a new turn number in the
// package withdraws the command it answered; the package's window cells
// that are seen go to the screen and into map_memory, every other cell of
// the level shows its remembered glyph in UNSEEN_COLOUR; the camera keeps the
// player in view; the status row gets the player's position and turn; the
// direction held now becomes the move command. Returns 0.
int ProcClient();

// Fixed interface of the client exchange; nothing calls these, ProcClient
// does the work itself. RecieveData: turn check of client slot 0..3 (others
// are ignored): a new turn number in the slot's package clears its command.
void RecieveData(uint8_t slot);
void SendData(); // nothing to send: the server reads the command slot

// Writes text at the right end of the status row, over the status line, in
// the status line's colour; nothing when the screen has no status row. A
// text wider than the screen is broken at spaces into lines (4 at most)
// that end on the status row.
void ShowStatusNote(const char *text);

// Client side, one entry per local client slot
extern uint8_t map_memory[WORLD_CELLS];     // glyph last seen in each cell, 0 never seen
extern int32_t playerturn[MAX_CLIENTS];     // turn number of the package in hand
extern int32_t playerlastturn[MAX_CLIENTS]; // turn number seen in the previous frame
extern int32_t playerx[MAX_CLIENTS];        // player position as the package gives it
extern int32_t playery[MAX_CLIENTS];
extern int32_t camerax[MAX_CLIENTS]; // world cell shown in the top-left screen cell
extern int32_t cameray[MAX_CLIENTS];

#endif
