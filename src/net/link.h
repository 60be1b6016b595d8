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

#define JOIN_RESEND_MS 250  // a join's lost CONNECT or greeting goes again after this at most
#define JOIN_SILENT_MS 2000 // a joining connection that hears nothing this long is made anew
#define JOIN_TELL_MS 2000   // a join says how long it has tried after this, once a second

// One event of a link.
struct LinkEvent {
    int type;                   // LINK_*
    uint32_t code;              // LINK_GONE: the server's goodbye code, 0 when lost
    size_t length;              // LINK_MESSAGE: bytes in data
    uint8_t data[MSG_MAX_SIZE]; // LINK_MESSAGE: the message
};

// A link to a server; the driver's own state stays behind host and peer.
struct NetLink {
    void *host = nullptr;                  // the driver's link, or NULL when closed
    void *peer = nullptr;                  // the server while connected, or NULL
    char name[256] = {};                   // the server's host name as given
    char shown[ECHO_SIZE] = {};            // and as the lines repeat it
    uint16_t port = 0;                     // and its port
    uint32_t address = 0;                  // its address as resolved, for tries to connect again
    uint32_t deadline = 0;                 // end of the join time on LinkNow's clock
    const char *who = "";                  // the program's name, for the lines of a join
    uint32_t told = 0;                     // seconds of the join said so far ("no answer yet")
    uint8_t greeting[MSG_HELLO_SIZE] = {}; // LinkGreet's message, kept until answered
    uint8_t greeting_size = 0;             // its size, 0 once answered
    uint8_t greeted = 0;                   // the current connection has had it
    uint32_t heard = 0;                    // when the server was last heard in the join
};

// Milliseconds on the link's clock.
uint32_t LinkNow();

// Connects to "HOST[:PORT]" (default port NET_DEFAULT_PORT) within
// NET_CONNECT_MS, serving the link in slices of at most 50 ms; a lost
// CONNECT is sent again at least every JOIN_RESEND_MS, also to a server that
// comes up late. After 2 s says once a second on stderr how long the join
// has been trying. An IPv6 address is refused. On failure prints one line
// (who: the program's name, kept for the join's lines) and returns false
// with the link closed again.
bool LinkConnect(NetLink &link, const char *who, const char *address);

// Sends bytes reliably, in order.
void LinkSend(NetLink &link, const uint8_t *bytes, size_t n);

// Sends what LinkSend queued now rather than at the next service.
void LinkFlush(NetLink &link);

// Sends the first message of a join (the hello or the follow request, at
// most MSG_HELLO_SIZE bytes) and keeps it until LinkAwait takes an answer,
// so that a join whose connection goes, or falls silent, before the answer
// connects again and says it again on the new connection.
void LinkGreet(NetLink &link, const uint8_t *bytes, size_t n);

// Waits until the join time is over, serving the link in slices of at
// most 50 ms (lost messages are sent again at least every JOIN_RESEND_MS
// while the greeting is unanswered), for a message that accept takes (it
// returns its type, else 0); the message is copied to answer (at most
// `room` bytes) and its type returned. Messages it does not take are
// counted as dropped. While the greeting waits for its answer, a connection
// that ends or stays silent for JOIN_SILENT_MS is replaced by a new one, and
// the join's progress is said as in LinkConnect. 0 when nothing came in
// time, or the server went away after the greeting was answered.
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
