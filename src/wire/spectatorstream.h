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
#ifndef MD_WIRE_SPECTATORSTREAM_H
#define MD_WIRE_SPECTATORSTREAM_H

#include <stddef.h>
#include <stdint.h>

#include "world/world.h"

#define SPECTATOR_MAX 16 // spectators a server can take at most
#define SPECTATOR_STREAM_MAX                                                                       \
    (32u << 20)                  // bytes of stream a server keeps; a longer game takes no more
#define SPECTATOR_RING 1024      // turns whose stream ends are remembered
#define SPECTATOR_DELAY_MAX 1000 // largest delay in turns
#define SPECTATOR_HASH_EVERY 100 // hash entries when the server prints none
#define SPECTATOR_ENTRY_MAX (1 + MAX_CLIENTS * (1 + 2 * CLIENT_SLOT)) // largest turn entry
#define SPECTATOR_HASH_MARK 0xFE
#define SPECTATOR_HASH_SIZE 9

#define SPECTATOR_NEED_MORE 0 // the entry is not complete yet
#define SPECTATOR_BAD (-1)    // the bytes are no entry of a stream of this many players

// The server's spectator stream from its first turn.
struct SpectatorStreamState {
    uint8_t bytes[SPECTATOR_STREAM_MAX]; // the server's stream so far
    uint32_t length;                     // its length in bytes
    uint8_t full;                        // the stream ran out of room
};
extern SpectatorStreamState server_stream;

// Starts an empty stream, the turn before the first.
void SpectatorStreamReset();

// Appends the turn about to run: the held slots' commands as they stand in
// net_client_msg. Sets server_stream.full, and appends nothing more, when it would
// not fit.
void SpectatorStreamTurn(uint8_t held);

// Appends a hash entry of the world as it stands, with the given hash.
void SpectatorStreamHash(uint64_t hash);

// Remembers where the stream ends after turn t (the turn counter's value).
void SpectatorStreamMark(uint32_t t);

// Bytes of the stream that may go out when the turn counter is now and the
// stream is held back by delay turns (at most SPECTATOR_DELAY_MAX).
uint32_t SpectatorStreamSendable(uint32_t now, uint32_t delay);

// Decodes the entry at p (n bytes available) of a stream of `players`
// players. A turn entry updates slots (MAX_CLIENTS command slots of
// CLIENT_SLOT bytes, as the stream last left them) and sets *is_hash false;
// a hash entry sets *is_hash and *hash. Returns the entry's size,
// SPECTATOR_NEED_MORE when it is not complete, or SPECTATOR_BAD.
int SpectatorStreamDecode(const uint8_t *p, size_t n, int players, uint8_t *slots, bool *is_hash,
                          uint64_t *hash);

#endif
