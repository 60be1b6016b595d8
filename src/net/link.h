// The ENet link of a program that joins a dedicated server, as a player or
// as a follower: connecting within the join time, waiting for the server's
// answer, and the goodbye.
#ifndef MD_NET_LINK_H
#define MD_NET_LINK_H

#include <stddef.h>
#include <stdint.h>

#include <enet/enet.h>

#include "resources/errorline.h"

struct NetLink {
    ENetHost *host = nullptr;   // the one-peer host, or NULL
    ENetPeer *peer = nullptr;   // the server while connected, or NULL
    char name[256] = {};        // the server's host name as given
    char shown[ECHO_SIZE] = {}; // and as the lines repeat it
    uint16_t port = 0;          // and its port
    uint32_t deadline = 0;      // end of the join time on ENet's clock
};

// Starts ENet and connects to "HOST[:PORT]" (default port NET_DEFAULT_PORT)
// within NET_CONNECT_MS, serving ENet in slices of at most 50 ms so that a
// lost CONNECT is sent again, also to a server that comes up late. An IPv6
// address is refused. On failure prints one line (who: the program's name)
// and returns false with ENet closed again.
bool LinkConnect(NetLink &link, const char *who, const char *address);

// Sends bytes reliably on the reliable channel.
void LinkSend(NetLink &link, const uint8_t *bytes, size_t n);

// Waits until the join time is over, serving ENet in slices of at most 50 ms
// so that a lost hello is sent again, for a message that accept takes (it
// returns its type, else 0); the message is copied to answer (at most
// `room` bytes) and its type returned. Messages it does not take are
// counted as dropped. 0 when none came or the server went away.
int LinkAwait(NetLink &link, int (*accept)(const uint8_t *msg, size_t n), uint8_t *answer,
              size_t room);

// Says goodbye (if still connected; NET_LEAVE, so a player's slot is freed at
// once rather than kept for its return), waits briefly for it to be
// acknowledged, so the server frees the connection at once, and closes the
// host and ENet.
void LinkClose(NetLink &link);

#endif
