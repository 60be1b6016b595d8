// Client view: decodes player 0's package into the screen and the map memory.
#ifndef MD_CLIENT_GAMECLIENT_H
#define MD_CLIENT_GAMECLIENT_H

#include <stdint.h>

#define UNSEEN_COLOUR 130 // base colour 2 at shade 8: every cell not in view

int ProcClient();
void RecieveData(uint8_t slot);
void SendData();

#endif
