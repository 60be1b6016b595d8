// The link of a program that joins a dedicated server, as a player or as a
// follower: connecting within the join time, waiting for the server's
// answer, the events after it and the goodbye. The driver is chosen at link
// time: ENet in the native builds (link.cpp), the browser's WebSocket in
// the page (linkweb.cpp), none in the other WebAssembly programs
// (nolink.cpp). One protocol message travels as one ENet packet or one
// binary WebSocket frame.
#ifndef MD_NET_LINK_H
#define MD_NET_LINK_H

#include <stddef.h>
#include <stdint.h>

#include "resources/errorline.h"
#include "wire/protocol.h"

#define LINK_CONNECTED 1 // a new try to connect got through
#define LINK_MESSAGE 2   // a message came: LinkEvent's data and length
#define LINK_GONE 3      // the connection ended: LinkEvent's code, the goodbye code

// One event of a link.
struct LinkEvent {
    int type;                   // LINK_*
    uint32_t code;              // LINK_GONE: the server's goodbye code, 0 when lost
    size_t length;              // LINK_MESSAGE: bytes in data
    uint8_t data[MSG_MAX_SIZE]; // LINK_MESSAGE: the message
};

// A link to a server; the driver's own state stays behind host and peer.
struct NetLink {
    void *host = nullptr;       // the driver's link, or NULL when closed
    void *peer = nullptr;       // the server while connected, or NULL
    char name[256] = {};        // the server's host name as given
    char shown[ECHO_SIZE] = {}; // and as the lines repeat it
    uint16_t port = 0;          // and its port
    uint32_t address = 0;       // its address as resolved, for tries to connect again
    uint32_t deadline = 0;      // end of the join time on LinkNow's clock
};

// Milliseconds on the link's clock.
uint32_t LinkNow();

// Connects to "HOST[:PORT]" (default port NET_DEFAULT_PORT) within
// NET_CONNECT_MS, serving the link in slices of at most 50 ms so that a
// lost CONNECT is sent again, also to a server that comes up late. An IPv6
// address is refused. On failure prints one line (who: the program's name)
// and returns false with the link closed again.
bool LinkConnect(NetLink &link, const char *who, const char *address);

// Sends bytes reliably, in order.
void LinkSend(NetLink &link, const uint8_t *bytes, size_t n);

// Sends what LinkSend queued now rather than at the next service.
void LinkFlush(NetLink &link);

// Waits until the join time is over, serving the link in slices of at
// most 50 ms so that a lost hello is sent again, for a message that accept
// takes (it returns its type, else 0); the message is copied to answer (at
// most `room` bytes) and its type returned. Messages it does not take are
// counted as dropped. 0 when none came or the server went away.
int LinkAwait(NetLink &link, int (*accept)(const uint8_t *msg, size_t n), uint8_t *answer,
              size_t room);

// Takes the next event without waiting; false when none is there. After
// LINK_GONE the link has no peer.
bool LinkNext(NetLink &link, LinkEvent *ev);

// Whether the link has a peer: connected, or a try under way.
bool LinkUp(const NetLink &link);

// Ends the connection at once, without a goodbye; the link stays open for
// another try.
void LinkDrop(NetLink &link);

// Lets the connection go without a word (a try that never got in).
void LinkForget(NetLink &link);

// Starts a new try to connect to the address of LinkConnect, ending the
// last one; LINK_CONNECTED or LINK_GONE tells how it went.
void LinkRetry(NetLink &link);

// A player's time-outs: a server silent for 1.5 to 2 s counts as lost.
void LinkPlayerTimeouts(NetLink &link);

// Milliseconds since the server was last heard.
uint32_t LinkSilentMs(const NetLink &link);

// Says goodbye (if still connected; NET_LEAVE, so a player's slot is freed at
// once rather than kept for its return), waits briefly for it to be
// acknowledged, so the server frees the connection at once, and closes the
// link.
void LinkClose(NetLink &link);

#endif
