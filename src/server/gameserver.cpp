// STUB
#include "server/gameserver.h"
const int32_t table_movex[9] = {0, 0, 1, 1, 1, 0, -1, -1, -1};
const int32_t table_movey[9] = {0, -1, -1, 0, 1, 1, 1, 0, -1};
const int8_t vis_dirx[225] = {0};
const int8_t vis_diry[225] = {0};
const uint16_t FOV_mask[448] = {0};
void LoadDemoMap() {}
void RestartServer() {}
void ProcGameServer() {}
void ProcLocalClients() {}
void ProcInput(unsigned short) {}
void ProcNPC() {}
void Proc_NPC_AI(unsigned short) {}
void PreparePackage(unsigned short) {}
void VisProc(unsigned short, short, short) {}
void RenderServer() {}
