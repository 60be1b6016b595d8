// A stand-in for ENet without a network, for the fuzzers of the programs
// that join a server: one host at a time with one peer, a clock that moves
// only at a pause or when a wait finds nothing, and the events a fuzzer
// queues, handed out in order by enet_host_service. An event that ENet could
// not give the peer as it stands (data before the link is up or longer than
// the host takes, a link coming up that nobody asked for) is passed over.
#ifndef MD_FUZZ_FAKEENET_H
#define MD_FUZZ_FAKEENET_H

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <vector>

#include <enet/enet.h>

// ENET_EVENT_TYPE_NONE in the queue: a service that finds nothing, and the
// clock moves on by `data` milliseconds.
#define FAKE_PAUSE ENET_EVENT_TYPE_NONE

struct FakeEvent {
    ENetEventType type;
    uint32_t data;              // the goodbye code, or the pause in ms
    std::vector<uint8_t> bytes; // a message's bytes
};

extern std::deque<FakeEvent> fake_events; // events still to come
extern int fake_packets;                  // packets made and not destroyed
extern int fake_started;                  // ENet started and not stopped again
extern bool fake_host;                    // a host is open

// Called with every event handed out, before the program sees it, and with
// every message the program sends.
extern void (*fake_on_event)(const ENetEvent &ev);
extern void (*fake_on_send)(const uint8_t *msg, size_t n);

// Starts a run with the clock at a fixed time and the given events queued.
void FakeStart(std::deque<FakeEvent> events);

#endif
