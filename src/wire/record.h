// Records of on-line games: the data's identity, then per turn which slots
// were held and the command bytes that changed, with a world snapshot every
// FOLLOW_SNAP_EVERY turns, so that the turns can be run again offline to the
// same world and a watch can jump.
//
// File layout, version 2 (numbers big-endian):
//   header    "MDGOREC2", data hash (8 bytes), players (1), creature set-up (1)
//   snapshot  0xFD, size (2), offset of the snapshot entry before it (8, 0
//             for the first), world hash (8), the snapshot
//             (world/snapshot.h), check (4); before the turn entry of each
//             turn counter that is a multiple of FOLLOW_SNAP_EVERY, 0 first
//   turn      the follow stream's turn entry (followstream.h): mask and the
//             changed bytes of each held slot, then check (4)
//   end       0xFF, turns run (4), check (4)
// The check of a snapshot is FNV-1a 32 of its bytes before the check; that
// of any other entry continues the FNV-1a 32 of the entry before it over
// its own bytes, so every entry is checked as it is read and none can be
// left out, doubled or moved. A turn of four idle players takes 9 bytes; a
// turn takes at most 521, and a snapshot at most SNAPSHOT_MAX + 23.
//
// Version 1 ("MDGOREC1", still read): the same header, then per turn: turn
// number (4), held-slot mask (1), the 128 command bytes of each held slot
// in slot order, check (4): FNV-1a 32 of the entry's bytes before it; end:
// turns run (4), mask 0xFF, check (4).
#ifndef MD_WIRE_RECORD_H
#define MD_WIRE_RECORD_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include "world/mapload.h" // SETUP_*

#define RECORD_END_MASK 0xFF
#define RECORD_SNAP_MARK 0xFD
#define RECORD_LINKS_MAX 1000000 // snapshot links followed back in one jump at most

// Opens the record name for writing, relative to the folder open as dir
// (an absolute name ignores it): a new file, or with overwrite an existing
// regular file, emptied. Never blocks on a FIFO or a device. Prints one
// line and returns NULL when it cannot.
FILE *OpenRecordOut(int dir, const char *name, bool overwrite);

#define RECORD_NAME_TRIES 100 // names a record folder offers one start

// The name of a record folder's record of a server started at `when` on
// port: YYYYMMDD-HHMMSS-PORT.rec in UTC, and for n > 1 the n-th choice,
// YYYYMMDD-HHMMSS-PORT-n.rec.
void RecordName(time_t when, uint16_t port, int n, char *name, size_t size);

// Opens a new record in the folder open as dir, shown as folder in lines:
// the first of the RECORD_NAME_TRIES names of RecordName that is not taken,
// never an existing file. The record's path, folder/name, goes into path
// (size bytes). Prints one line and returns NULL when it cannot.
FILE *OpenRecordIn(int dir, const char *folder, time_t when, uint16_t port, char *path,
                   size_t size);

// Prints the line of a failed write to the record name, with the reason in
// errno.
void RecordWriteFailed(const char *name);

#define RECORD_VERSION 2 // the version written; 1 only for tests of old records

// Writes the header of a record of the given version; the turns and the
// end that follow are of that version. False on a write error.
bool RecordHeader(FILE *f, uint64_t data_hash, uint8_t players, uint8_t setup,
                  int version = RECORD_VERSION);

// Writes one turn, the turn counter being number: the snapshot of the
// world first when one is due, then the held mask and the held slots'
// commands as they stand in net_client_msg, flushed; false on a write
// error.
bool RecordTurn(FILE *f, uint32_t number, uint8_t held);

// Writes the end entry, flushed; false on a write error.
bool RecordEnd(FILE *f, uint32_t turns);

// Opens a record for reading without waiting on it: only a regular file is
// taken (a pipe, a FIFO or a device could block or never end). NULL after
// one line on stderr, who being the program's name.
FILE *RecordOpenRead(const char *who, const char *path);

// Reads the header and checks it against this data folder; false after one
// line on stderr ("not a game record", "made from other data").
bool RecordReadHeader(FILE *f, const char *who, const char *name, int *players, int *setup);

#define RECORD_TURN 0    // a turn entry: its commands are in net_client_msg
#define RECORD_DONE 1    // the end record, and nothing after it
#define RECORD_CUT 2     // the file ends before the end record
#define RECORD_CORRUPT 3 // a bad check, turn number, mask, snapshot or trailing bytes
#define RECORD_SNAP 4    // a snapshot entry (only inside the reader)
#define RECORD_NONE 5    // no snapshot to jump to

// Reads the next turn of a record of `players` players, which must be the
// turn about to run; a snapshot before it is checked against the world. At
// most one entry's bytes, a snapshot's and one more at the end are read.
// Returns RECORD_TURN, RECORD_DONE, RECORD_CUT or RECORD_CORRUPT.
int RecordReadTurn(FILE *f, int players);

// Jumps a version 2 record's reader and the world towards turn target:
// back to the newest snapshot at or before target, or forward to the next
// snapshot when it comes at or before target. RECORD_TURN when the world
// now stands at that snapshot (the turns up to target are the caller's to
// run), RECORD_NONE when there is none such (a version 1 record; nothing
// changed), else the fault found.
int RecordJump(FILE *f, int players, uint32_t target);

// Version of the record whose header was read last: 1 or 2.
int RecordVersion();

// "cut short" or "corrupted", for a fault that RecordReadTurn returned.
const char *RecordFault(int status);

#endif
