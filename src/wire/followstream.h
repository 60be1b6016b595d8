// The follow stream: a server's game as a byte stream that rebuilds it
// turn by turn, kept by the server from its first turn and sent to each
// follower from the start. It is the record's content, but each command
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

#define FOLLOW_MAX 16                 // followers a server can take at most
#define FOLLOW_STREAM_MAX (32u << 20) // bytes of stream a server keeps; a longer game takes no more
#define FOLLOW_RING 1024              // turns whose stream ends are remembered
#define FOLLOW_DELAY_MAX 1000         // largest delay in turns
#define FOLLOW_HASH_EVERY 100         // hash entries when the server prints none
#define FOLLOW_ENTRY_MAX (1 + MAX_CLIENTS * (1 + 2 * CLIENT_SLOT)) // largest turn entry
#define FOLLOW_HASH_MARK 0xFE
#define FOLLOW_HASH_SIZE 9

#define FOLLOW_NEED_MORE 0 // the entry is not complete yet
#define FOLLOW_BAD (-1)    // the bytes are no entry of a stream of this many players

// The server's follow stream from its first turn.
struct FollowStreamState {
    uint8_t bytes[FOLLOW_STREAM_MAX]; // the server's stream so far
    uint32_t length;                  // its length in bytes
    uint8_t full;                     // the stream ran out of room
};
extern FollowStreamState server_stream;

// Starts an empty stream, the turn before the first.
void FollowStreamReset();

// Appends the turn about to run: the held slots' commands as they stand in
// net_client_msg. Sets server_stream.full, and appends nothing more, when it would
// not fit.
void FollowStreamTurn(uint8_t held);

// Appends a hash entry of the world as it stands, with the given hash.
void FollowStreamHash(uint64_t hash);

// Remembers where the stream ends after turn t (the turn counter's value).
void FollowStreamMark(uint32_t t);

// Bytes of the stream that may go out when the turn counter is now and the
// stream is held back by delay turns (at most FOLLOW_DELAY_MAX).
uint32_t FollowStreamSendable(uint32_t now, uint32_t delay);

// Decodes the entry at p (n bytes available) of a stream of `players`
// players. A turn entry updates slots (MAX_CLIENTS command slots of
// CLIENT_SLOT bytes, as the stream last left them) and sets *is_hash false;
// a hash entry sets *is_hash and *hash. Returns the entry's size,
// FOLLOW_NEED_MORE when it is not complete, or FOLLOW_BAD.
int FollowStreamDecode(const uint8_t *p, size_t n, int players, uint8_t *slots, bool *is_hash,
                       uint64_t *hash);

#endif
