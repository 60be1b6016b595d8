// Connecting to a dedicated server, awaiting its answer, and the goodbye.
#include "net/link.h"

#include <stdio.h>
#include <string.h>

#include "wire/protocol.h"

#define GOODBYE_MS 200 // time given to the server to hear the goodbye
#define SLICE_MS 50    // longest single wait of a join: ENet resends only while served

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
        enet_host_destroy(link.host);
    link.host = NULL;
    link.peer = NULL;
    enet_deinitialize();
}

bool LinkConnect(NetLink &link, const char *who, const char *address) {
    link.port = NET_DEFAULT_PORT;
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
    a.port = link.port;
    link.host = enet_host_create(NULL, 1, NET_CHANNELS, 0, 0);
    if (!link.host || enet_address_set_host(&a, link.name) != 0) {
        fprintf(stderr, "%s: cannot reach %s:%u (unknown host)\n", who, link.shown,
                (unsigned)link.port);
        CloseHost(link);
        return false;
    }
    link.host->maximumPacketSize = MSG_MAX_SIZE;
    link.peer = enet_host_connect(link.host, &a, NET_CHANNELS, 0);
    ENetEvent ev;
    while (link.peer) {
        uint32_t left = Left(link.deadline);
        if (left == 0 || enet_host_service(link.host, &ev, Slice(left)) < 0)
            break;
        if (ev.type == ENET_EVENT_TYPE_CONNECT) {
            enet_peer_timeout(link.peer, ENET_PEER_TIMEOUT_LIMIT, NET_TIMEOUT_MIN, NET_TIMEOUT_MAX);
            return true;
        }
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT)
            break;
        if (ev.type == ENET_EVENT_TYPE_RECEIVE)
            enet_packet_destroy(ev.packet);
    }
    fprintf(stderr, "%s: cannot reach the server at %s:%u\n", who, link.shown, (unsigned)link.port);
    CloseHost(link);
    return false;
}

void LinkSend(NetLink &link, const uint8_t *bytes, size_t n) {
    ENetPacket *p = enet_packet_create(bytes, n, ENET_PACKET_FLAG_RELIABLE);
    if (p && enet_peer_send(link.peer, NET_CHANNEL_RELIABLE, p) != 0)
        enet_packet_destroy(p);
}

int LinkAwait(NetLink &link, int (*accept)(const uint8_t *msg, size_t n), uint8_t *answer,
              size_t room) {
    ENetEvent ev;
    for (;;) {
        uint32_t left = Left(link.deadline);
        if (left == 0)
            return 0;
        int r = enet_host_service(link.host, &ev, Slice(left));
        if (r <= 0)
            continue;
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT)
            return 0;
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
        if (type)
            return type;
    }
}

void LinkClose(NetLink &link) {
    if (!link.host)
        return;
    if (link.peer && link.peer->state != ENET_PEER_STATE_DISCONNECTED) {
        enet_peer_disconnect(link.peer, NET_LEAVE);
        ENetEvent ev;
        uint32_t deadline = enet_time_get() + GOODBYE_MS;
        while (Left(deadline) > 0 && enet_host_service(link.host, &ev, Left(deadline)) > 0) {
            if (ev.type == ENET_EVENT_TYPE_DISCONNECT)
                break;
            if (ev.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(ev.packet);
        }
    }
    CloseHost(link);
}
