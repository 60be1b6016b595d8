// Client side of on-line play: joins a dedicated server, takes the newest
// package it sends into package slot 0 each frame and sends command slot 0
// whenever its bytes change. No local turn runs while connected.
#ifndef MD_NET_NETCLIENT_H
#define MD_NET_NETCLIENT_H

#include <stdint.h>

#include "world/world.h"

// The client's side of on-line play: its link's state and the newest package.
struct NetClientState {
    uint8_t remote;                // non-zero: the game is a client of a server
    uint8_t lost;                  // the server went away; the run ends with status 1
    uint8_t slot;                  // slot the server gave this client
    uint16_t level_x, level_y;     // largest x and y of the server's level 0
    uint8_t package[PACKAGE_COPY]; // newest package received, zero before the first
    uint32_t packages;             // packages received
    uint8_t relinking;             // the link dropped; getting back in (up to 30 s)
};
extern NetClientState net_client;

// Set by a program that waits for a free slot on a full server: waits about
// ms between tries; false when the player left meanwhile. NULL (the
// headless runner): a full server ends the join.
extern bool (*net_full_wait)(uint32_t ms);

// Joins the server at "HOST[:PORT]" (default port NET_DEFAULT_PORT): connects,
// sends the hello and waits for the answer, at most NET_CONNECT_MS in all
// (connecting again, and saying hello again, when a connection is lost
// before the answer; after 2 s it says once a second how long it has tried).
// Nothing of an earlier join in the same process (its game, command numbers,
// commands held) carries over. On success sets net_client.remote and returns
// true; from then on the goodbye is said at exit too, however the process
// exits. Otherwise prints one line (who for the program's name: unreachable,
// refused as full, wrong version) and returns false. With net_full_wait set,
// a full server is said once ("... is full; waiting for a free slot") and
// asked again until a slot frees or the player leaves.
bool NetJoin(const char *who, const char *address);

// After the game's initialisation: the server's level bounds replace the
// local map's, so the camera follows the server's world.
void NetClientStart();

// Start of a frame: serves the connection without waiting and puts the newest
// package into slot 0 of net_server_msg. When the link drops without a
// goodbye, or the server says it stops (NET_STOPPING: it may come back; said
// once on stderr), sets net_client.relinking and tries, frame by frame, for up
// to 30 s to get the slot back with the player's token; the last package stays
// in view meanwhile. When the server has gone for good, prints one line and sets
// net_client.lost; the caller then ends the frame loop after this frame, as the
// menu's exit item does.
void NetClientFrameStart();

// End of a frame: sends command slot 0, with its own number, when its bytes
// differ from those the server holds. A command stays in the slot until a
// package says the server applied it. Distinct commands made while the link
// is down, or while one is on its way, are held (up to 16) and sent one at
// a time, each when the one before was applied (after the relink), so each
// is applied at its own turn. A direction still held when its command was
// applied goes out again as a repeat, one move a turn while held; when the
// pad lets go of it before the server applied the repeat, the pad's next
// command, or an empty one, takes its place, so a tap moves once whatever
// the delay of the link.
void NetClientFrameEnd();

// Commands made that the server has not applied yet, as far as the client
// knows: those held and the one on its way. 0 when every tap has moved.
int NetClientUnapplied();

// The note for the status row: "reconnecting" while getting back in (the
// server stopped: "the server stopped; waiting for it to come back"), for a
// while after a restart of the server the line that says so; else NULL.
const char *NetClientNote();

// Leaves the server politely (if still connected) and closes the host.
void NetLeave();

#endif
