// Game server: map and restart, the turn, field of view and view package,
// and the observer view.
#ifndef MD_SERVER_GAMESERVER_H
#define MD_SERVER_GAMESERVER_H

#include <stdint.h>

extern const int32_t table_movex[9]; // x step of each move code
extern const int32_t table_movey[9]; // y step of each move code
extern const int8_t vis_dirx[225];   // x step toward the centre, y-major
extern const int8_t vis_diry[225];   // y step toward the centre, y-major
extern const uint16_t FOV_mask[448]; // window of each sight: [sight][|dy|][|dx|]

// Non-zero when cell (x, y) lies inside level z: 0 <= x <= mapsizex[z] and
// 0 <= y <= mapsizey[z]; also zero for any cell or level off the world grid.
int InLevel(int x, int y, int z);

void LoadDemoMap();
void RestartServer();
void PlaceWanderer(int k); // creature k: an enabled wanderer on the start cell
void ProcGameServer();
void ProcLocalClients();
void ProcInput(unsigned short creature);
void ProcNPC();
// Fixed interface of the turn, uncalled: ProcNPC applies the same rule
// itself. Gives a creature its wandering move from the random stream: 0 on a
// first draw of 7, else a second draw plus one.
void Proc_NPC_AI(unsigned short creature);
void PreparePackage(unsigned short creature);
// Fixed interface of the field of view, uncalled: PreparePackage does the
// same step for every ring cell itself. Visibility step for grid cell (a, b)
// of a creature: takes the value of the neighbour toward the centre and
// lowers it where the cell stops sight.
void VisProc(unsigned short creature, short a, short b);
void RenderServer();
// Writes text over the observer view's whole status row, blanks after it.
void ObserverStatus(const char *text);

#endif
