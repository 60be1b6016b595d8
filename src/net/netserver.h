// Dedicated server side of on-line play: the table of connections and held
// slots and the checks of every message a client sends (the ENet host that
// carries them is serverhost.h). Slot i controls creature i; a client only
// ever writes the command slot the server recorded for its connection.
//
// Each command is applied at one turn only: after the turn the slot is
// cleared and the packages tell the client the number of the last command
// applied, so a client knows when to withdraw or renew its command. A slot
// whose connection was lost (not ended by a goodbye) is kept for its token
// for NET_KEEP_MS, but only for a player who has played (sent a command
// since the slot was given) and only while its address has fewer than
// NET_KEPT_PER_ADDRESS slots kept; any other slot is free again at once. A
// hello with the token of a kept slot, or of a slot held now (the same
// player, restarted), takes the slot at once. A new player from an address
// whose lost players keep NET_KEPT_PER_ADDRESS slots, or that already has
// NET_IDLE_PER_ADDRESS slots out of play (kept, or held by a player who has
// not played yet or not been heard for NET_SILENT_MS), is refused as full
// until one of them comes back, plays, is heard or goes, so that one
// address taking slots and dropping them cannot fill the game. A hello that
// finds no slot free first lets go the slots of players not heard for
// NET_SILENT_MS, as if their links were lost.
#ifndef MD_NET_NETSERVER_H
#define MD_NET_NETSERVER_H

#include <stddef.h>
#include <stdint.h>

#include "wire/followstream.h"
#include "wire/protocol.h"
#include "world/world.h"

#define NET_ENET_CONNS 64 // ENet peers at once: far more than slots, so idle peers cannot fill them
#define NET_DOOR_CONNS 16 // WebSocket connections at once, numbered after the ENet peers
#define NET_MAX_CONNS (NET_ENET_CONNS + NET_DOOR_CONNS) // connections of both carriers
#define NET_PER_ADDRESS                                                                            \
    8 // connections from one IPv4 address: four players and refusals
      // (each carrier counts the other's too)

#define NET_KEPT_PER_ADDRESS 2 // lost players' slots kept for one address at once
#define NET_IDLE_PER_ADDRESS 3 // slots out of play one address may have before a new player of it
#define NET_SILENT_MS                                                                              \
    2000 // a player not heard for this long is out of play (clients ping
         // every 250 ms, the server's pings are answered)

#define CONN_FREE 0     // no connection
#define CONN_WAITING 1  // connected, no hello yet
#define CONN_PLAYER 2   // holds a slot
#define CONN_REFUSED 3  // refused, being disconnected
#define CONN_FOLLOWER 4 // follows the game without a slot
#define CONN_REPLACED 5 // its slot went to a hello with the slot's token; to be ended
#define CONN_SILENT 6   // its slot was let go, on a full server, for its silence; to be ended

// The server's side of on-line play: the connection table, what it offers,
// each slot's commands and player, and its clock.
struct NetServerState {
    uint8_t conn_state[NET_MAX_CONNS];  // CONN_* of each connection
    int8_t conn_slot[NET_MAX_CONNS];    // slot each connection holds, -1 none
    int8_t slot_conn[MAX_CLIENTS];      // connection holding each slot, -1 none
    uint8_t players = MAX_CLIENTS;      // slots on offer, 1..4
    uint8_t quiet;                      // no join and leave lines
    uint8_t followers;                  // follower places on offer, 0..FOLLOW_MAX
    uint16_t follow_delay = 20;         // turns the stream is held back, 0..FOLLOW_DELAY_MAX
    uint8_t setup;                      // the world's creature set-up, for the followers
    uint64_t data_hash;                 // the data's hash, for the followers
    uint32_t slot_seq[MAX_CLIENTS];     // number of the command in each slot
    uint32_t slot_applied[MAX_CLIENTS]; // number of the last command applied at a turn
    uint64_t slot_token[MAX_CLIENTS];   // token of each slot's player, 0 none
    uint8_t slot_kept[MAX_CLIENTS];     // lost player's slot kept for its token
    uint8_t slot_played[MAX_CLIENTS];   // its player sent a command since the slot was given
    uint32_t slot_ipv4[MAX_CLIENTS];    // IPv4 address (host order) of its player's last hello
    uint32_t conn_ipv4[NET_MAX_CONNS];  // IPv4 address of each connection, 0 unknown (no limit)
    uint32_t conn_heard[NET_MAX_CONNS]; // clock when each was last heard: at its join, at each
                                        // message, and as the host hears more of it
    uint32_t slot_lost_at[MAX_CLIENTS]; // clock when a kept slot was lost
    uint32_t clock;                     // milliseconds, set by the host before each event
    uint64_t fresh_token;               // token for the next new player, 0 none; used once
    uint64_t game_id;                   // the game's identity, told in every welcome
};
extern NetServerState net_server;

// Empties the tables (tokens and command numbers too) and offers slots
// 0 .. players - 1 (players 1..4).
void NetServerReset(int players);

// A new connection, numbered 0 .. NET_MAX_CONNS - 1, from an IPv4 address
// (host order; 0 unknown, which no per-address limit counts); ignored out
// of range or when the number is in use.
void NetServerJoin(int conn, uint32_t ipv4 = 0);

// A connection ended or timed out: its slot, if it held one, is freed and
// the slot's command cleared, so the creature stands from the next turn.
// Returns the slot freed, or -1.
int NetServerLeave(int conn);

// A connection dropped without a goodbye: as NetServerLeave, but a slot it
// held whose player has played is kept for its token until NET_KEEP_MS after
// net_server.clock, unless its address has NET_KEPT_PER_ADDRESS kept already.
// Returns the slot, or -1.
int NetServerLost(int conn);

// Sets net_server.clock to now (ENet's milliseconds) and lets go of the kept
// slots whose time is over, so that one kept long ago is never taken for
// kept again when the 32-bit clock comes round (after 49.7 days). The host
// calls it at every wait and before every event.
void NetServerClock(uint32_t now);

// A connection whose slot a hello with the slot's token took over
// (CONN_REPLACED), or that lost its slot for its silence (CONN_SILENT), or
// -1. The host ends it and then calls NetServerLeave.
int NetServerReplaced();

// After a turn: the command of every held slot counts as applied, and the
// slot is cleared so that it is not applied again.
void NetServerTurnDone();

// Checks one message of a connection and acts on it: a hello is answered
// with a welcome (the slot of its token, else the lowest free slot) or a
// refusal (a hello of another protocol version, of any length, is refused as
// such), a follow request with a follower welcome (a free follower place) or a refusal, a
// command of a player is copied into its own command slot; anything else is
// dropped and counted in net_dropped. The answer, if any, is written to
// reply (at least MSG_REPLY_MAX bytes) and its size returned, else 0; *close
// is set when the connection is to be ended after the answer.
size_t NetServerMessage(int conn, const uint8_t *msg, size_t n, uint8_t *reply, bool *close);

// Followers following now.
int NetFollowerCount();

// Bitmask of the slots held now (bit i: slot i).
uint8_t NetHeldSlots();

// The peer to end when a new one needs room, of n peers (n at most
// NET_MAX_CONNS): each one's address, the count at which it was first noted
// (wrapping), and whether it is spare (neither a player nor a follower). Of
// the address with the most spare peers, the spare peer noted first; -1
// when none is spare.
int NetRoomChoice(const uint32_t *address, const uint32_t *order, const uint8_t *spare, int n);

#endif
