// Game server: the turn, field of view and view package; with them the map
// and restart (mapload.h) and the observer view (observer.h).
#ifndef MD_WORLD_GAMESERVER_H
#define MD_WORLD_GAMESERVER_H

#include <stdint.h>

#include "world/mapload.h"
#include "world/package.h"

extern const int32_t table_movex[9]; // x step of each move code
extern const int32_t table_movey[9]; // y step of each move code

// One server turn: serve the local clients, move the creatures, count the
// turn.
void ProcGameServer();

// Creature of client slot `slot` when a turn serves that slot, else -1.
int ServedCreature(int slot);

// For every served slot: build its creature's package, hand PACKAGE_COPY
// bytes of it to the slot, take the slot's command and apply it.
void ProcLocalClients();

// Gives the move code of the command in client_msg to an enabled creature.
void ProcInput(unsigned short creature);

// The creature pass: in index order, each enabled creature clears the mark of
// its cell, is counted, chooses a move if it wanders, tries the move and
// marks the cell it ends on.
void ProcNPC();

// Fixed interface of the turn, uncalled: ProcNPC applies the same rule
// itself. Gives a creature its wandering move from the random stream: 0 on a
// first draw of 7, else a second draw plus one.
void Proc_NPC_AI(unsigned short creature);

// Fixed interface of the field of view, uncalled: PreparePackage does the
// same step for every ring cell itself. Visibility step for grid cell (a, b)
// of a creature: takes the value of the neighbour toward the centre and
// lowers it where the cell stops sight.
void VisProc(unsigned short creature, short a, short b);

// Builds, into out + i * PACKAGE_COPY, the package of every slot i that the
// next server turn will hand over (the world does not change between turns),
// leaving the world and the scratch buffers as they were. Slots the turn
// does not serve are left alone.
void PrepareNextPackages(uint8_t *out);

#endif
