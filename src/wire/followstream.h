// The follow stream: a server's game as a byte stream that rebuilds it
// turn by turn from a world snapshot (world/snapshot.h). Each command slot
// is given only by its bytes that changed since the turn before, so a turn
// of four idle players takes five bytes. Records (record.h) carry the same
// turn entries.
//
// Entries, one after the other:
//   turn   held-slot mask (bits 0..3), then for each held slot in slot order
//          either k (0..64) and k pairs (byte index 0..127, new value), or
//          FOLLOW_WHOLE (0xFF) and the slot's 128 bytes; a slot that is not
//          held holds zeros from that turn on
//   hash   0xFE, then the 8-byte world hash (big-endian) of the world after
//          the turns before it
//
// The server keeps, in fixed memory, a snapshot every FOLLOW_SNAP_EVERY
// turns (the last FOLLOW_SNAPS of them, each with the command slots as the
// stream left them) and the stream since the oldest snapshot kept. A
// follower starts from the newest snapshot its delay allows.
#ifndef MD_WIRE_FOLLOWSTREAM_H
#define MD_WIRE_FOLLOWSTREAM_H

#include <stddef.h>
#include <stdint.h>

#include "world/snapshot.h"
#include "world/world.h"

#define FOLLOW_MAX 16                      // followers a server can take at most
#define FOLLOW_RING 1024                   // turns whose stream ends are remembered
#define FOLLOW_DELAY_MAX 1000              // largest delay in turns
#define FOLLOW_HASH_EVERY 100              // hash entries when the server prints none
#define FOLLOW_WHOLE 0xFF                  // a slot given whole
#define FOLLOW_PAIRS_MAX (CLIENT_SLOT / 2) // changed bytes given as pairs at most
#define FOLLOW_ENTRY_MAX (1 + MAX_CLIENTS * (1 + CLIENT_SLOT)) // largest turn entry
#define FOLLOW_HASH_MARK 0xFE
#define FOLLOW_HASH_SIZE 9
#define FOLLOW_SNAP_EVERY 1000 // turns between snapshots; at least FOLLOW_DELAY_MAX
#define FOLLOW_SNAPS 3         // snapshots kept
// Stream bytes kept: the turns since the oldest snapshot kept, each the
// largest turn entry and a hash entry, fit whatever the players send.
#define FOLLOW_STREAM_KEEP (2u << 20)
static_assert(FOLLOW_SNAP_EVERY >= FOLLOW_DELAY_MAX, "a delayed follower finds a snapshot");
static_assert((uint64_t)FOLLOW_SNAPS * FOLLOW_SNAP_EVERY * (FOLLOW_ENTRY_MAX + FOLLOW_HASH_SIZE) <=
                  FOLLOW_STREAM_KEEP,
              "the stream since the oldest snapshot fits");

#define FOLLOW_NEED_MORE 0 // the entry is not complete yet
#define FOLLOW_BAD (-1)    // the bytes are no entry of a stream of this many players

// A snapshot the server keeps.
struct FollowSnap {
    uint8_t held;                // kept: 1
    uint32_t turn;               // the turn counter at the snapshot
    uint64_t at;                 // stream position where the turns after it start
    uint64_t hash;               // world hash at the snapshot
    uint16_t size;               // bytes of the snapshot
    uint8_t bytes[SNAPSHOT_MAX]; // the snapshot (world/snapshot.h)
};

// The server's follow stream: a ring of its newest bytes and the snapshots.
struct FollowStreamState {
    uint8_t bytes[FOLLOW_STREAM_KEEP]; // stream byte at position p is at p % FOLLOW_STREAM_KEEP
    uint64_t length;                   // bytes of stream since the first turn
    uint64_t base;                     // the oldest position kept: the oldest snapshot's
    FollowSnap snaps[FOLLOW_SNAPS]; // snapshot of turn t at (t / FOLLOW_SNAP_EVERY) % FOLLOW_SNAPS
};
extern FollowStreamState server_stream;

// Starts an empty stream, the turn before the first; FollowStreamMark(0,
// WorldHash()) then keeps the snapshot of the starting world.
void FollowStreamReset();

// Appends the turn about to run: the held slots' commands as they stand in
// net_client_msg.
void FollowStreamTurn(uint8_t held);

// Appends a hash entry of the world as it stands, with the given hash.
void FollowStreamHash(uint64_t hash);

// Remembers where the stream ends after turn t (the turn counter's value)
// and, every FOLLOW_SNAP_EVERY turns, keeps a snapshot of the world as it
// stands, whose hash is `hash` (called with WorldHash() when
// FollowSnapDue(t)). The oldest snapshot then goes with its stream.
void FollowStreamMark(uint32_t t, uint64_t hash);

// Whether FollowStreamMark(t) keeps a snapshot.
inline bool FollowSnapDue(uint32_t t) {
    return t % FOLLOW_SNAP_EVERY == 0;
}

// Stream position up to which a follower may be sent when the turn counter
// is now and the stream is held back by delay turns (at most
// FOLLOW_DELAY_MAX).
uint64_t FollowStreamSendable(uint32_t now, uint32_t delay);

// The snapshot a follower joining now with that delay starts from: the
// newest whose turn is at most now - delay (0 before that).
const FollowSnap *FollowStreamStart(uint32_t now, uint32_t delay);

// Copies n stream bytes from position at (at least server_stream.base, at
// most length - n) to out.
void FollowStreamCopy(uint64_t at, size_t n, uint8_t *out);

// Decodes the entry at p (n bytes available) of a stream of `players`
// players. A turn entry updates slots (MAX_CLIENTS command slots of
// CLIENT_SLOT bytes, as the stream last left them) and sets *is_hash false;
// a hash entry sets *is_hash and *hash. Returns the entry's size,
// FOLLOW_NEED_MORE when it is not complete, or FOLLOW_BAD.
int FollowStreamDecode(const uint8_t *p, size_t n, int players, uint8_t *slots, bool *is_hash,
                       uint64_t *hash);

// Encodes the turn entry of the held slots' commands now (MAX_CLIENTS *
// CLIENT_SLOT bytes) against last, the slots as the stream left them, which
// it updates, into e (FOLLOW_ENTRY_MAX bytes); returns its size.
size_t FollowEncodeTurn(uint8_t held, const uint8_t *now, uint8_t *last, uint8_t *e);

#endif
