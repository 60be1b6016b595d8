// The spectator stream: a server's game as a byte stream that rebuilds it
// turn by turn, kept by the server from its first turn and sent to each
// spectator from the start. It is the record's content, but each command
// slot is given only by its bytes that changed since the turn before, so a
// turn of four idle players takes five bytes.
//
// Entries, one after the other:
//   turn   held-slot mask (bits 0..3), then for each held slot in slot order:
//          k (0..128) and k pairs (byte index 0..127, new value); a slot that
//          is not held holds zeros from that turn on, as in the record
//   hash   0xFE, then the 8-byte world hash (big-endian) of the world after
//          the turns before it
#ifndef MD_WIRE_FOLLOWSTREAM_H
#define MD_WIRE_FOLLOWSTREAM_H

#include <stddef.h>
#include <stdint.h>

#include "world/world.h"

#define SPEC_MAX 16                 // spectators a server can take at most
#define SPEC_STREAM_MAX (32u << 20) // bytes of stream a server keeps; a longer game takes no more
#define SPEC_RING 1024              // turns whose stream ends are remembered
#define SPEC_DELAY_MAX 1000         // largest delay in turns
#define SPEC_HASH_EVERY 100         // hash entries when the server prints none
#define SPEC_ENTRY_MAX (1 + MAX_CLIENTS * (1 + 2 * CLIENT_SLOT)) // largest turn entry
#define SPEC_HASH_MARK 0xFE
#define SPEC_HASH_SIZE 9

#define SPEC_NEED_MORE 0 // the entry is not complete yet
#define SPEC_BAD (-1)    // the bytes are no entry of a stream of this many players

extern uint8_t spec_stream[SPEC_STREAM_MAX]; // the server's stream so far
extern uint32_t spec_length;                 // its length in bytes
extern uint8_t spec_full;                    // the stream ran out of room

// Starts an empty stream, the turn before the first.
void SpecStreamReset();

// Appends the turn about to run: the held slots' commands as they stand in
// net_client_msg. Sets spec_full, and appends nothing more, when it would
// not fit.
void SpecStreamTurn(uint8_t held);

// Appends a hash entry of the world as it stands, with the given hash.
void SpecStreamHash(uint64_t hash);

// Remembers where the stream ends after turn t (the turn counter's value).
void SpecStreamMark(uint32_t t);

// Bytes of the stream that may go out when the turn counter is now and the
// stream is held back by delay turns (at most SPEC_DELAY_MAX).
uint32_t SpecStreamSendable(uint32_t now, uint32_t delay);

// Decodes the entry at p (n bytes available) of a stream of `players`
// players. A turn entry updates slots (MAX_CLIENTS command slots of
// CLIENT_SLOT bytes, as the stream last left them) and sets *is_hash false;
// a hash entry sets *is_hash and *hash. Returns the entry's size,
// SPEC_NEED_MORE when it is not complete, or SPEC_BAD.
int SpecStreamDecode(const uint8_t *p, size_t n, int players, uint8_t *slots, bool *is_hash,
                     uint64_t *hash);

#endif
