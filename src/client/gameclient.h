// Client view: decodes player 0's package into the screen and the map memory.
#ifndef MD_CLIENT_GAMECLIENT_H
#define MD_CLIENT_GAMECLIENT_H

#include <stdint.h>

int ProcClient();
void RecieveData(uint8_t slot);
void SendData();

#endif
