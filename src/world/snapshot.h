// World snapshots: everything the server turn changes, so that a follower
// or a record's reader can start at any snapshot instead of from the first
// turn. What the turn never changes (the map, each creature's kind,
// whether it is enabled, which slot plays it) comes from StartWorld with
// the game's players and set-up, which must have run before a restore.
//
// Byte layout (numbers big-endian):
//   turn (4), random stream position (2), creatures counted by the last
//   turn (2),
//   n (2), then for each enabled creature in number order: its number (2),
//          x (2), y (2), move code (1); every enabled creature is listed
//   m (2), then for each occupied cell in cell order: cell (3, below
//          WORLD_CELLS), creature number + 1 (2, 1..MAX_NPCS); m <= MAX_NPCS
//   command slots: mask of the slots given (1, bits 0..3), then the 128
//          bytes of each given slot in slot order; the others are zeros
#ifndef MD_WORLD_SNAPSHOT_H
#define MD_WORLD_SNAPSHOT_H

#include <stddef.h>
#include <stdint.h>

#include "world/world.h"

#define SNAPSHOT_CREATURE 7 // bytes of one creature
#define SNAPSHOT_CELL 5     // bytes of one occupied cell
#define SNAPSHOT_MAX                                                                               \
    (12 + MAX_NPCS * SNAPSHOT_CREATURE + 2 + MAX_NPCS * SNAPSHOT_CELL + 1 +                        \
     MAX_CLIENTS * CLIENT_SLOT) // largest snapshot

// Writes the world as it stands and the command slots `slots` (MAX_CLIENTS
// * CLIENT_SLOT bytes) into out (SNAPSHOT_MAX bytes); returns its size, or
// 0 when the world holds more occupied cells than a snapshot takes.
size_t SnapshotWrite(uint8_t *out, const uint8_t *slots);

// Checks the snapshot at p (exactly n bytes) against the world standing now
// (its enabled creatures) and, only when all of it is good, restores the
// world from it and the command slots into slots. False, with nothing
// changed, for a bad snapshot.
bool SnapshotRestore(const uint8_t *p, size_t n, uint8_t *slots);

#endif
