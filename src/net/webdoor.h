// The dedicated server's WebSocket door (libwebsockets): browsers join and
// follow the game over WebSocket on one TCP port, which also serves the
// page's files from a folder. One binary frame carries one protocol message,
// byte for byte as ENet carries it (wire/protocol.h).
//
// A door connection is numbered 0 .. DOOR_CONNS - 1. Its goodbye is the
// WebSocket close code DOOR_CLOSE_BASE + the ENet goodbye code (NET_LEAVE,
// NET_BYE, NET_STOPPING, NET_REPLACED, 0), so both carriers say the same.
#ifndef MD_NET_WEBDOOR_H
#define MD_NET_WEBDOOR_H

#include <stddef.h>
#include <stdint.h>

#include "net/netserver.h"
#include "wire/protocol.h"

#define DOOR_CONNS NET_DOOR_CONNS // WebSocket connections at once
#define DOOR_CLOSE_BASE 4000      // close code of a goodbye: this + the goodbye code
#define DOOR_QUEUE (64u << 10)    // bytes waiting to be sent on one connection, at most
#define DOOR_HEADER_MAX 2048      // bytes of HTTP headers read from one request, at most
#define DOOR_IN_MAX 4096          // largest message a browser may send: far above its own
#define DOOR_HANDSHAKE_S 2        // seconds an HTTP request or WebSocket handshake may take

#define DOOR_JOINED 1  // a WebSocket connection is open
#define DOOR_MESSAGE 2 // it sent a whole message
#define DOOR_GONE 3    // it is closed; code: its goodbye code, or -1 when lost

// One event of the door, as DoorNext hands it over.
struct DoorEvent {
    uint8_t type;              // DOOR_*
    uint8_t conn;              // the door connection
    int16_t code;              // DOOR_GONE: the goodbye code, -1 when lost
    uint32_t length;           // DOOR_MESSAGE: bytes in data
    uint32_t ipv4;             // the peer's IPv4 address, host order
    char where[48];            // the peer as "A.B.C.D:PORT"
    uint8_t data[DOOR_IN_MAX]; // DOOR_MESSAGE: the message
};

// Opens the door on addr:port (addr NULL or "" for every interface; port
// 0 for a free one) serving files from root, which must be a folder. wake_fd is a
// socket whose readiness ends a DoorWait (the ENet host's), or -1. others
// counts the server's other connections from an IPv4 address (host order),
// so that the per-address limit takes both carriers. Prints one line and
// returns false when it cannot; *bound gets the port.
bool DoorOpen(const char *addr, uint16_t port, const char *root, int wake_fd,
              int (*others)(uint32_t ipv4), uint16_t *bound);

// Whether the door is open.
bool DoorIsOpen();

// Serves the door until an event is ready, wake_fd is readable or ms
// milliseconds have passed.
void DoorWait(uint32_t ms);

// Takes the next event into *ev: joins first, then messages in their order,
// then closings. False when none is waiting.
bool DoorNext(DoorEvent *ev);

// Queues one message for connection k. A droppable one (a package) is
// dropped when the queue has no room; a reliable one that finds no room ends
// the connection as lost, since its reader is not keeping up. Whether it was
// queued.
bool DoorSend(int k, const uint8_t *msg, size_t n, bool droppable);

// Bytes queued for connection k and not yet written to its socket.
uint32_t DoorQueued(int k);

// Whether connection k is open and not being closed.
bool DoorLive(int k);

// Closes connection k with the goodbye code once its queue is written.
void DoorEnd(int k, uint8_t code);

// Connections of an IPv4 address (host order) at the door.
int DoorFrom(uint32_t ipv4);

// Frames sent and received, and bytes sent, so far.
uint64_t DoorFramesSent();
uint64_t DoorFramesReceived();
uint64_t DoorBytesSent();

// Closes every connection at once and the door.
void DoorClose();

#endif
