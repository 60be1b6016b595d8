// Client view: decodes player 0's package into the screen and the map memory.
#ifndef MD_CLIENT_GAMECLIENT_H
#define MD_CLIENT_GAMECLIENT_H

#include <stdint.h>

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
// the status line's colour; nothing when the screen has no status row.
void ShowStatusNote(const char *text);

#endif
