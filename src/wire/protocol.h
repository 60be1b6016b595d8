// On-line play: the messages that carry the view package and the client
// command between a dedicated server and clients on other machines, and the
// counters of what was dropped. Only byte formats live here; what talks to
// ENet is in src/net/. The server turn and the client view meet the network
// only through the exchange slots.
//
// Every message starts with its type byte and has one exact size; numbers
// are big-endian and read byte by byte.
//
//   HELLO    client -> server  15 bytes  type, "MDGO", protocol version (16-bit),
//                                        token of an earlier slot (64-bit, 0 none)
//   WELCOME  server -> client  28 bytes  type, slot 0..3, players 1..4, 0,
//                                        largest x and y of level 0 (16-bit each),
//                                        the slot's token (64-bit), number of the
//                                        last command applied to the slot (32-bit),
//                                        the game's identity (64-bit, drawn at the
//                                        server's start; another one after a
//                                        reconnect means the server restarted)
//   REFUSE   server -> client  4 bytes   type, reason, server's protocol version
//   PACKAGE  server -> client  517 bytes type, number of the last command applied
//                                        to the slot (32-bit), the 512 bytes of
//                                        the slot's package
//   COMMAND  client -> server  133 bytes type, the command's number (32-bit),
//                                        the 128 bytes of the command slot
//
// Followers, which watch the game live without a slot:
//
//   FOLLOW_ASK follower -> server 15 bytes type, "MDGO", protocol version (16-bit),
//                                        the follower's data hash (64-bit)
//   FOLLOW   server -> follower 17 bytes type, players 1..4, creature set-up 0..1,
//                                        delay in turns (16-bit), the server's turn
//                                        (32-bit), data hash (64-bit)
//   SNAPSHOT server -> follower 14..SNAPSHOT_MAX + 13 bytes: type, world hash
//                                        (64-bit) and turn (32-bit) of the snapshot
//                                        the stream starts from, then the snapshot
//                                        (world/snapshot.h); right after FOLLOW
//   STREAM   server -> follower 2..1025 bytes type, the next bytes of the
//                                        follow stream (followstream.h) after
//                                        the snapshot
//
// A follow request of the 7 bytes of earlier versions, without the data
// hash, is refused as of another version. SNAPSHOT and STREAM are the only
// messages whose size varies.
//
// Packages go unreliable and sequenced on channel 0 (the newest wins); the
// handshake, commands and the stream go reliable on channel 1. The first
// seven bytes of a hello are the same in every protocol version, so a client
// of any version is told which version the server speaks.
#ifndef MD_WIRE_PROTOCOL_H
#define MD_WIRE_PROTOCOL_H

#include <stddef.h>
#include <stdint.h>

#define NET_MAGIC "MDGO" // after the type byte of a hello or follow (4 bytes)

#include "wire/bytes.h" // the messages' numbers are big-endian
#include "world/snapshot.h"
#include "world/world.h"

#define NET_VERSION 3         // protocol version; both ends must agree (3: the game identity)
#define NET_DEFAULT_PORT 7742 // UDP port of the dedicated server
#define NET_CHANNELS 2
#define NET_CHANNEL_PACKAGE 0 // unreliable, sequenced
#define NET_CHANNEL_RELIABLE 1

#define MSG_HELLO 1
#define MSG_WELCOME 2
#define MSG_REFUSE 3
#define MSG_PACKAGE 4
#define MSG_COMMAND 5
#define MSG_FOLLOW_ASK 6
#define MSG_FOLLOW 7
#define MSG_STREAM 8
#define MSG_SNAPSHOT 9

#define MSG_HELLO_SIZE 15
#define MSG_HELLO_V1_SIZE 7 // type, mark and version: what every version's hello starts with
#define MSG_WELCOME_SIZE 28
#define MSG_REFUSE_SIZE 4
#define MSG_PACKAGE_HEAD 5 // type and the number of the last command applied
#define MSG_PACKAGE_SIZE (MSG_PACKAGE_HEAD + PACKAGE_COPY)
#define MSG_COMMAND_HEAD 5 // type and the command's number
#define MSG_COMMAND_SIZE (MSG_COMMAND_HEAD + CLIENT_SLOT)
#define MSG_FOLLOW_ASK_SIZE 15
#define MSG_FOLLOW_SIZE 17
#define MSG_SNAPSHOT_HEAD 13 // type, world hash and turn
#define MSG_SNAPSHOT_MAX (MSG_SNAPSHOT_HEAD + SNAPSHOT_MAX)
#define STREAM_CHUNK 1024 // stream bytes in one message at most
#define MSG_STREAM_MAX (1 + STREAM_CHUNK)
#define MSG_MAX_SIZE MSG_SNAPSHOT_MAX  // largest message either end accepts
#define MSG_REPLY_MAX MSG_WELCOME_SIZE // largest answer of the server to a message

#define REFUSE_FULL 1           // every slot is taken
#define REFUSE_VERSION 2        // the client speaks another protocol version
#define REFUSE_NO_FOLLOWERS 3   // the server takes no followers
#define REFUSE_FOLLOWERS_FULL 4 // every follower place is taken
#define REFUSE_OTHER_DATA 6     // a follower of other data (map or tile file)

#define NET_BYE 1      // goodbye code of a server that ends the game
#define NET_LEAVE 2    // goodbye code of a player who leaves; its slot is freed at once
#define NET_REPLACED 3 // goodbye code to a connection whose slot its token took elsewhere
#define NET_BEHIND 4   // goodbye code to a follower whose stream the server no longer keeps
#define NET_STOPPING                                                                               \
    5 // goodbye code of a server stopped by a signal: it may come back, and
      // its players and followers wait for it for NET_KEEP_MS

#define NET_CONNECT_MS 12000 // a join gives up after this long
#define NET_EVENTS_MAX 256   // events taken in one service, so a flood cannot stall a frame or turn
#define NET_KEEP_MS 30000    // a lost player's slot waits this long, and its client tries as long
#define NET_TIMEOUT_MIN 5000 // a silent peer is dropped after 5 to 10 s
#define NET_TIMEOUT_MAX 10000

// Why a message or datagram was dropped; one counter each.
enum NetDrop {
    DROP_SIZE,    // known type, wrong size (an empty message too)
    DROP_TYPE,    // unknown type, or a type that never goes this way
    DROP_ORDER,   // out of turn: a command before the handshake, a second hello
    DROP_HELLO,   // a hello without the game's mark
    DROP_GARBAGE, // a datagram that is no ENet traffic of a known peer
    DROP_KINDS
};

extern uint32_t net_dropped[DROP_KINDS];            // messages and datagrams dropped, by reason
extern const char *const net_drop_name[DROP_KINDS]; // short name of each reason

// True when command number a is b or came after it (numbers wrap around).
bool NetSeqReached(uint32_t a, uint32_t b);

// Splits "HOST" or "HOST:PORT" (an IPv4 address or a name; a port 1..65535)
// into host (at most hostsize - 1 characters) and port, which keeps its
// value when none is given. False for an empty host, a bad port or a host
// too long for the buffer.
bool NetParseAddress(const char *text, char *host, size_t hostsize, uint16_t *port);

// Exact size of a message of the given type (the largest for STREAM and
// SNAPSHOT); 0 for
// an unknown type.
size_t NetMessageSize(uint8_t type);

// Counts a message that is dropped where it arrived: a wrong size, an
// unknown type, or else one that came out of turn.
void NetCountDrop(const uint8_t *msg, size_t n);

// Writes the hello of this build's protocol version with the given token
// (0: none) into out (MSG_HELLO_SIZE bytes).
void NetMakeHello(uint8_t *out, uint64_t token);

// The same greeting with another type (MSG_HELLO_V1_SIZE bytes).
void NetMakeGreeting(uint8_t *out, uint8_t type);

// Writes a follower's FOLLOW_ASK for the data of the given hash into out
// (MSG_FOLLOW_ASK_SIZE bytes).
void NetMakeFollowAsk(uint8_t *out, uint64_t data_hash);

#endif
