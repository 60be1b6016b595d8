// The ENet link driver: connecting to a dedicated server, awaiting its
// answer, its events, and the goodbye.
#include "net/link.h"

#include <stdio.h>
#include <string.h>

#include <enet/enet.h>

#include "wire/protocol.h"

#define GOODBYE_MS 200 // time given to the server to hear the goodbye
#define SLICE_MS 50    // longest single wait of a join: ENet resends only while served
// A player's server that acknowledges nothing for 1.5 to 2 s (a ping goes
// out after a quarter of a second of silence) counts as lost.
#define LINK_PING_MS 250
#define LINK_TIMEOUT_LIMIT 8
#define LINK_TIMEOUT_MIN 1500
#define LINK_TIMEOUT_MAX 2000

// The driver's view of a link.
static ENetHost *HostOf(const NetLink &link) {
    return (ENetHost *)link.host;
}
static ENetPeer *PeerOf(const NetLink &link) {
    return (ENetPeer *)link.peer;
}

uint32_t LinkNow() {
    return enet_time_get();
}

// Milliseconds to wait in one service call: what is left, at most a slice.
static uint32_t Slice(uint32_t left) {
    return left < SLICE_MS ? left : SLICE_MS;
}

// Milliseconds left until deadline on ENet's clock, 0 when past.
static uint32_t Left(uint32_t deadline) {
    uint32_t now = enet_time_get();
    return (int32_t)(deadline - now) > 0 ? deadline - now : 0;
}

// Closes the host and ENet.
static void CloseHost(NetLink &link) {
    if (link.host)
        enet_host_destroy(HostOf(link));
    link.host = NULL;
    link.peer = NULL;
    enet_deinitialize();
}

// Says once a second, after JOIN_TELL_MS, how long the join has tried;
// nothing once its time is over (the line that ends it comes then).
static void Tell(NetLink &link) {
    if (Left(link.deadline) == 0)
        return;
    uint32_t tried = (enet_time_get() - (link.deadline - NET_CONNECT_MS)) / 1000;
    if (tried * 1000 < JOIN_TELL_MS || tried <= link.told)
        return;
    link.told = tried;
    fprintf(stderr, "%s: joining %s:%u: no answer yet after %u s\n", link.who, link.shown,
            (unsigned)link.port, (unsigned)tried);
}

// Keeps ENet from backing off the resends of a join past JOIN_RESEND_MS: it
// doubles the wait with each one, from half a second, so that a few lost
// datagrams in a row would outlast the join time. A handshake is a few
// small messages; sending them more often costs nothing.
static void Hurry(NetLink &link) {
    ENetPeer *p = PeerOf(link);
    if (!p)
        return;
    for (ENetListIterator i = enet_list_begin(&p->sentReliableCommands);
         i != enet_list_end(&p->sentReliableCommands); i = enet_list_next(i)) {
        ENetOutgoingCommand *c = (ENetOutgoingCommand *)i;
        if (c->roundTripTimeout > JOIN_RESEND_MS)
            c->roundTripTimeout = JOIN_RESEND_MS;
    }
}

// Starts a new connection of the join to the server's address; a connected
// last one is told goodbye (NET_LEAVE), so that a slot it may hold is free
// at once. ENet lets the try run for the whole join time.
static void Attempt(NetLink &link) {
    ENetPeer *old = PeerOf(link);
    if (old && old->state == ENET_PEER_STATE_CONNECTED)
        enet_peer_disconnect_now(old, NET_LEAVE);
    else if (old)
        enet_peer_reset(old);
    ENetAddress a;
    a.host = link.address;
    a.port = link.port;
    link.peer = enet_host_connect(HostOf(link), &a, NET_CHANNELS, 0);
    if (link.peer)
        enet_peer_timeout(PeerOf(link), ENET_PEER_TIMEOUT_LIMIT, NET_CONNECT_MS, NET_CONNECT_MS);
    link.greeted = 0;
    link.heard = enet_time_get();
}

// A join's connection got through: ENet's usual time-outs from now on.
static void Connected(NetLink &link) {
    enet_peer_timeout(PeerOf(link), ENET_PEER_TIMEOUT_LIMIT, NET_TIMEOUT_MIN, NET_TIMEOUT_MAX);
    link.address = PeerOf(link)->address.host;
    link.heard = enet_time_get();
}

bool LinkConnect(NetLink &link, const char *who, const char *address) {
    link.port = NET_DEFAULT_PORT;
    link.who = who;
    link.told = 0;
    link.greeting_size = 0;
    // ENet here speaks IPv4 only: "[::1]:P" or "::1" would be taken for a name.
    const char *colon = strchr(address, ':');
    if (address[0] == '[' || (colon && strchr(colon + 1, ':'))) {
        fprintf(stderr, "%s: IPv6 is not supported; use an IPv4 address or a host name\n", who);
        return false;
    }
    if (!NetParseAddress(address, link.name, sizeof link.name, &link.port)) {
        EchoText(address, link.shown);
        fprintf(stderr, "%s: '%s' is no server address (HOST or HOST:PORT)\n", who, link.shown);
        return false;
    }
    EchoText(link.name, link.shown);
    if (enet_initialize() != 0) {
        fprintf(stderr, "%s: cannot start ENet\n", who);
        return false;
    }
    link.deadline = enet_time_get() + NET_CONNECT_MS;
    ENetAddress a;
    ENetHost *host = enet_host_create(NULL, 1, NET_CHANNELS, 0, 0);
    link.host = host;
    if (!host || enet_address_set_host(&a, link.name) != 0) {
        fprintf(stderr, "%s: cannot reach %s:%u (unknown host)\n", who, link.shown,
                (unsigned)link.port);
        CloseHost(link);
        return false;
    }
    host->maximumPacketSize = MSG_MAX_SIZE;
    link.address = a.host;
    link.peer = NULL;
    Attempt(link);
    ENetEvent ev;
    while (link.peer) {
        uint32_t left = Left(link.deadline);
        if (left == 0 || enet_host_service(host, &ev, Slice(left)) < 0)
            break;
        Hurry(link);
        Tell(link);
        if (ev.type == ENET_EVENT_TYPE_CONNECT) {
            Connected(link);
            return true;
        }
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT) // an earlier try's late answer
            Attempt(link);
        if (ev.type == ENET_EVENT_TYPE_RECEIVE)
            enet_packet_destroy(ev.packet);
    }
    fprintf(stderr, "%s: cannot reach the server at %s:%u\n", who, link.shown, (unsigned)link.port);
    CloseHost(link);
    return false;
}

void LinkSend(NetLink &link, const uint8_t *bytes, size_t n) {
    ENetPacket *p = enet_packet_create(bytes, n, ENET_PACKET_FLAG_RELIABLE);
    if (p && enet_peer_send(PeerOf(link), NET_CHANNEL_RELIABLE, p) != 0)
        enet_packet_destroy(p);
}

void LinkFlush(NetLink &link) {
    enet_host_flush(HostOf(link));
}

void LinkGreet(NetLink &link, const uint8_t *bytes, size_t n) {
    link.greeting_size = (uint8_t)(n < sizeof link.greeting ? n : sizeof link.greeting);
    memmove(link.greeting, bytes, link.greeting_size); // bytes may be the greeting kept
    LinkSend(link, link.greeting, link.greeting_size);
    LinkFlush(link);
    link.greeted = 1;
    link.heard = enet_time_get();
}

// One slice of a join still waiting for the answer to its greeting: the
// resends hurried, the progress said, and a connection that fell silent
// (the server let its handshake go) replaced; whether it was.
static bool Joining(NetLink &link) {
    Hurry(link);
    Tell(link);
    ENetPeer *p = PeerOf(link);
    if (!p || !link.greeted)
        return false;
    if ((int32_t)(p->lastReceiveTime - link.heard) > 0)
        link.heard = p->lastReceiveTime;
    if (enet_time_get() - link.heard < JOIN_SILENT_MS)
        return false;
    Attempt(link);
    return true;
}

int LinkAwait(NetLink &link, int (*accept)(const uint8_t *msg, size_t n), uint8_t *answer,
              size_t room) {
    ENetEvent ev;
    for (;;) {
        uint32_t left = Left(link.deadline);
        if (left == 0 || !link.peer)
            return 0;
        int r = enet_host_service(HostOf(link), &ev, Slice(left));
        if (link.greeting_size && Joining(link) && r > 0) { // the event was the old connection's
            if (ev.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(ev.packet);
            continue;
        }
        if (r <= 0)
            continue;
        if (ev.type == ENET_EVENT_TYPE_CONNECT && link.greeting_size) { // a new try got through
            Connected(link);
            LinkGreet(link, link.greeting, link.greeting_size);
            continue;
        }
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT) {
            if (!link.greeting_size)
                return 0;
            Attempt(link);
            continue;
        }
        if (ev.type != ENET_EVENT_TYPE_RECEIVE)
            continue;
        const uint8_t *d = ev.packet->data;
        size_t n = ev.packet->dataLength;
        int type = accept(d, n);
        if (type)
            memcpy(answer, d, n < room ? n : room);
        else
            NetCountDrop(d, n);
        enet_packet_destroy(ev.packet);
        if (type) {
            link.greeting_size = 0;
            return type;
        }
    }
}

bool LinkNext(NetLink &link, LinkEvent *ev) {
    ENetEvent e;
    while (link.host && enet_host_service(HostOf(link), &e, 0) > 0) {
        if (e.type == ENET_EVENT_TYPE_CONNECT) {
            ev->type = LINK_CONNECTED;
            return true;
        }
        if (e.type == ENET_EVENT_TYPE_DISCONNECT) {
            link.peer = NULL; // ENet has let the peer go
            ev->type = LINK_GONE;
            ev->code = e.data;
            return true;
        }
        if (e.type != ENET_EVENT_TYPE_RECEIVE)
            continue;
        size_t n = e.packet->dataLength;
        ev->type = LINK_MESSAGE;
        ev->length = n < sizeof ev->data ? n : sizeof ev->data;
        memcpy(ev->data, e.packet->data, ev->length);
        enet_packet_destroy(e.packet);
        if (n > sizeof ev->data) { // never from a server of this game
            NetCountDrop(ev->data, n);
            continue;
        }
        return true;
    }
    return false;
}

bool LinkUp(const NetLink &link) {
    return link.peer != NULL;
}

void LinkDrop(NetLink &link) {
    if (link.peer)
        enet_peer_reset(PeerOf(link));
    link.peer = NULL;
}

void LinkForget(NetLink &link) {
    link.peer = NULL;
}

void LinkRetry(NetLink &link) {
    LinkDrop(link);
    ENetAddress a;
    a.host = link.address;
    a.port = link.port;
    link.peer = enet_host_connect(HostOf(link), &a, NET_CHANNELS, 0);
}

void LinkPlayerTimeouts(NetLink &link) {
    enet_peer_timeout(PeerOf(link), LINK_TIMEOUT_LIMIT, LINK_TIMEOUT_MIN, LINK_TIMEOUT_MAX);
    enet_peer_ping_interval(PeerOf(link), LINK_PING_MS);
}

uint32_t LinkSilentMs(const NetLink &link) {
    return link.peer ? enet_time_get() - PeerOf(link)->lastReceiveTime : 0;
}

void LinkClose(NetLink &link) {
    if (!link.host)
        return;
    ENetPeer *peer = PeerOf(link);
    if (peer && peer->state != ENET_PEER_STATE_DISCONNECTED) {
        enet_peer_disconnect(peer, NET_LEAVE);
        ENetEvent ev;
        uint32_t deadline = enet_time_get() + GOODBYE_MS;
        while (Left(deadline) > 0 && enet_host_service(HostOf(link), &ev, Left(deadline)) > 0) {
            if (ev.type == ENET_EVENT_TYPE_DISCONNECT)
                break;
            if (ev.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(ev.packet);
        }
    }
    CloseHost(link);
}
