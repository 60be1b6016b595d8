// Records of on-line games: the data's identity, then per
// turn which slots were held and the command bytes applied, so that the
// turns can be run again offline to the same world.
//
// File layout (numbers big-endian):
//   header  "MDGOREC1", data hash (8 bytes), players (1), creature set-up (1)
//   turn    turn number (4), held-slot mask (1), the 128 command bytes of
//           each held slot in slot order, check (4): FNV-1a 32 of the
//           record's bytes before it
//   end     turns run (4), mask 0xFF, check (4)
#ifndef MD_WIRE_RECORD_H
#define MD_WIRE_RECORD_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <time.h>

#include "world/mapload.h" // SETUP_*

#define RECORD_END_MASK 0xFF

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

// Writes the header; false on a write error.
bool RecordHeader(FILE *f, uint64_t data_hash, uint8_t players, uint8_t setup);

// Writes one turn: its number, the held mask and the held slots' commands
// as they stand in net_client_msg; false on a write error.
bool RecordTurn(FILE *f, uint32_t number, uint8_t held);

// Writes the end record; false on a write error.
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
#define RECORD_CORRUPT 3 // a bad check, turn number, mask or trailing bytes

// Reads the next entry of a record of `players` players, which must carry
// the number of the turn about to run; at most one entry's bytes (and one
// more at the end) are read. Returns RECORD_*.
int RecordReadTurn(FILE *f, int players);

// "cut short" or "corrupted", for a fault that RecordReadTurn returned.
const char *RecordFault(int status);

#endif
