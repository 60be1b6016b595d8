// World and data hashes, and the "turn T hash H" lines printed from them.
#ifndef MD_WORLD_WORLDHASH_H
#define MD_WORLD_WORLDHASH_H

#include <stdint.h>

// FNV-1a 64 of the map file and the tile file of the data folder (the
// working directory), which decide the world a record was made in.
uint64_t DataHash();

// FNV-1a 64 of the world: level grid, occupancy, every creature field, the
// creature count, the turn and the random stream's position.
uint64_t WorldHash();

// Prints "turn T hash H" for the world as it stands.
void HashLine();

// The same line with a world hash already taken at this turn.
void HashLineOf(uint64_t hash);

// The hash line after the last turn, unless the periodic line of every
// `every` turns has just given it.
void FinalHashLine(int every);

#endif
