// STUB
#include "client/gameclient.h"
int ProcClient() { return 0; }
void RecieveData(uint8_t) {}
void SendData() {}
