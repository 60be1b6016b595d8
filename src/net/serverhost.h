// The dedicated server's ENet host and WebSocket door: the connections' events turned into the
// joins, leaves and messages of netserver.h, the packages and the
// follow stream sent after each turn, and the host's counters.
#ifndef MD_NET_SERVERHOST_H
#define MD_NET_SERVERHOST_H

#include <stdint.h>

// Opens the ENet host on addr:port (addr NULL or "" for every interface;
// port 0 for a free one). Prints one line, saying why, and returns false
// when it cannot.
// *bound gets the port in use.
bool NetServerOpen(const char *addr, uint16_t port, uint16_t *bound);

// Opens the WebSocket door (net/webdoor.h) beside the open ENet host, on
// TCP addr:port (port 0 for a free one), serving the page's files from root. Its
// connections take slots, tokens and follower places as ENet peers do.
// Prints one line, saying why, and returns false when it cannot; *bound
// gets the port.
bool NetServerOpenDoor(const char *addr, uint16_t port, const char *root, uint16_t *bound);

// Serves the network for at most ms milliseconds: connections, leaves and
// messages, at most NET_EVENTS_MAX events. Returns early after the first
// batch of events. Peers without a slot that stall in their handshake,
// before their hello or in their goodbye are ended after about 2 s.
void NetServerWait(uint32_t ms);

// Sends every held slot i the 512 bytes at packages + i * PACKAGE_COPY, with
// the number of the last command applied to the slot.
void NetServerSendPackages(const uint8_t *packages);

// Sends each follower the stream it may have and has not had yet, as far
// as its share of data not yet acknowledged allows; with all set, the whole
// stream whatever the delay (the game is ending). Returns true while some
// follower still has stream to come.
bool NetServerSendStream(bool all);

// Stream bytes sent to followers so far.
uint64_t NetServerStreamBytes();

// Tells every peer goodbye with the given code (NET_BYE: the game is over;
// NET_STOPPING: the server stops and may come back), waits briefly for them
// to hear it, and closes.
void NetServerClose(uint32_t code);

// Peers ended so far, for taking too long or to make room for a new one.
uint32_t NetServerHalfOpenEnded(); // in their handshake
uint32_t NetServerSilentEnded();   // connected, without a hello

// What the host has sent and received so far.
uint64_t NetServerBytesSent();         // bytes sent
uint64_t NetServerDatagramsSent();     // datagrams sent
uint64_t NetServerDatagramsReceived(); // datagrams received

#endif
