// Offline replay of a record.
#ifndef MD_WIRE_REPLAY_H
#define MD_WIRE_REPLAY_H

#include <stdio.h>

// Replays a record offline from the restart: checks its data hash against
// this data folder, runs every turn with the recorded commands and prints
// "turn T hash H" every `every` turns (0: never) and after the last turn.
// Returns 0 when the whole record replayed, 1 when it was refused, cut short
// or corrupted (one line says which, and at which turn).
int ReplayRecord(FILE *f, const char *name, int every);

#endif
