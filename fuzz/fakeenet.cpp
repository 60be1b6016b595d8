// The stand-in ENet of the fuzzers (fakeenet.h). It stops the fuzzer on a
// call about a host or peer it never gave out, or already let go.
#include "fakeenet.h"

#include <stdlib.h>
#include <string.h>

#include "fuzzsupport.h"

std::deque<FakeEvent> fake_events;
int fake_packets;
int fake_started;
bool fake_host;
void (*fake_on_event)(const ENetEvent &ev);
void (*fake_on_send)(const uint8_t *msg, size_t n);

static uint32_t clock_ms;
static ENetHost *the_host;

void FakeStart(std::deque<FakeEvent> events) {
    fake_events = std::move(events);
    clock_ms = 100000;
}

static ENetPeer *Peer(ENetPeer *p) {
    FUZZ_CHECK(the_host && p == the_host->peers);
    return p;
}

int enet_initialize() {
    fake_started++;
    return 0;
}

void enet_deinitialize() {
    FUZZ_CHECK(fake_started > 0);
    fake_started--;
}

enet_uint32 enet_time_get() {
    return clock_ms;
}

int enet_address_set_host(ENetAddress *address, const char *) {
    address->host = 0x0100007f;
    return 0;
}

ENetHost *enet_host_create(const ENetAddress *, size_t peers, size_t, enet_uint32, enet_uint32) {
    FUZZ_CHECK(!the_host && peers == 1 && fake_started > 0);
    the_host = (ENetHost *)calloc(1, sizeof *the_host);
    the_host->peers = (ENetPeer *)calloc(1, sizeof *the_host->peers);
    // An empty list of reliable commands sent, as ENet's own host has: the
    // join walks it to hurry the resends.
    ENetList *sent = &the_host->peers->sentReliableCommands;
    sent->sentinel.next = sent->sentinel.previous = &sent->sentinel;
    the_host->peerCount = 1;
    fake_host = true;
    return the_host;
}

void enet_host_destroy(ENetHost *host) {
    FUZZ_CHECK(host && host == the_host);
    free(host->peers);
    free(host);
    the_host = NULL;
    fake_host = false;
}

ENetPeer *enet_host_connect(ENetHost *host, const ENetAddress *address, size_t, enet_uint32) {
    FUZZ_CHECK(host && host == the_host);
    ENetPeer *p = host->peers;
    if (p->state != ENET_PEER_STATE_DISCONNECTED)
        return NULL; // no free peer
    p->state = ENET_PEER_STATE_CONNECTING;
    p->address = *address;
    return p;
}

int enet_host_service(ENetHost *host, ENetEvent *ev, enet_uint32 timeout) {
    FUZZ_CHECK(host && host == the_host);
    ENetPeer *p = host->peers;
    memset(ev, 0, sizeof *ev); // ENET_EVENT_TYPE_NONE when nothing comes
    while (!fake_events.empty()) {
        FakeEvent e = std::move(fake_events.front());
        fake_events.pop_front();
        if (e.type == FAKE_PAUSE) {
            clock_ms += e.data;
            return 0;
        }
        size_t room = host->maximumPacketSize ? host->maximumPacketSize : e.bytes.size();
        bool can = e.type == ENET_EVENT_TYPE_CONNECT ? p->state == ENET_PEER_STATE_CONNECTING
                   : e.type == ENET_EVENT_TYPE_RECEIVE
                       ? p->state == ENET_PEER_STATE_CONNECTED && e.bytes.size() <= room
                       : p->state != ENET_PEER_STATE_DISCONNECTED;
        if (!can)
            continue;
        ev->type = e.type;
        ev->peer = p;
        if (e.type == ENET_EVENT_TYPE_DISCONNECT) {
            p->state = ENET_PEER_STATE_DISCONNECTED;
            ev->data = e.data;
        } else {
            p->state = ENET_PEER_STATE_CONNECTED;
            p->lastReceiveTime = clock_ms;
        }
        if (e.type == ENET_EVENT_TYPE_RECEIVE) {
            ev->channelID = 1;
            ev->packet = enet_packet_create(e.bytes.data(), e.bytes.size(), 0);
        }
        if (fake_on_event)
            fake_on_event(*ev);
        return 1;
    }
    clock_ms += timeout;
    return 0;
}

void enet_host_flush(ENetHost *host) {
    FUZZ_CHECK(host && host == the_host);
}

ENetPacket *enet_packet_create(const void *data, size_t n, enet_uint32 flags) {
    ENetPacket *p = (ENetPacket *)calloc(1, sizeof *p);
    p->data = (enet_uint8 *)calloc(1, n ? n : 1);
    if (data && n)
        memcpy(p->data, data, n);
    p->dataLength = n;
    p->flags = flags;
    fake_packets++;
    return p;
}

void enet_packet_destroy(ENetPacket *p) {
    free(p->data);
    free(p);
    fake_packets--;
}

int enet_peer_send(ENetPeer *peer, enet_uint8, ENetPacket *p) {
    if (Peer(peer)->state != ENET_PEER_STATE_CONNECTED)
        return -1;
    if (fake_on_send)
        fake_on_send(p->data, p->dataLength);
    enet_packet_destroy(p);
    return 0;
}

void enet_peer_reset(ENetPeer *peer) {
    Peer(peer)->state = ENET_PEER_STATE_DISCONNECTED;
}

void enet_peer_disconnect(ENetPeer *peer, enet_uint32) {
    if (Peer(peer)->state != ENET_PEER_STATE_DISCONNECTED)
        peer->state = ENET_PEER_STATE_DISCONNECTING;
}

void enet_peer_disconnect_now(ENetPeer *peer, enet_uint32) {
    Peer(peer)->state = ENET_PEER_STATE_DISCONNECTED;
}

void enet_peer_timeout(ENetPeer *peer, enet_uint32, enet_uint32, enet_uint32) {
    Peer(peer);
}

void enet_peer_ping_interval(ENetPeer *peer, enet_uint32) {
    Peer(peer);
}
