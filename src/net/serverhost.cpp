// The dedicated server's ENet host: accepts connections, turns ENet's events
// into the joins, leaves and messages of netserver.cpp, sends the packages
// after each turn and counts datagrams that are no traffic of a known peer.
#include <stdio.h>
#include <string.h>

#include <enet/enet.h>

#include "net/netserver.h"

#define PACKET_LIMIT 4096   // largest packet a peer may send; far above any message
#define WAITING_LIMIT 65536 // data a peer may leave waiting for delivery
#define GOODBYE_MS 300      // time given to peers to hear the goodbye
#define HELLO_MS 10000      // a connection must say hello within this

static ENetHost *host;                      // the server's host, or NULL
static ENetPeer *conn_peer[NET_MAX_CONNS];  // ENet peer of each connection
static uint32_t conn_since[NET_MAX_CONNS];  // when each connection began, ENet's clock
static uint64_t sent_bytes, sent_datagrams; // totals taken out of the host's counters
static uint64_t received_datagrams;

// Text form of a peer's address.
static void AddressText(const ENetAddress *a, char *text, size_t size) {
    char ip[64];
    if (enet_address_get_host_ip(a, ip, sizeof ip) != 0)
        snprintf(ip, sizeof ip, "?");
    snprintf(text, size, "%s:%u", ip, (unsigned)a->port);
}

// Moves the host's 32-bit traffic counters into 64-bit totals.
static void TakeCounters() {
    sent_bytes += host->totalSentData;
    sent_datagrams += host->totalSentPackets;
    received_datagrams += host->totalReceivedPackets;
    host->totalSentData = host->totalSentPackets = 0;
    host->totalReceivedData = host->totalReceivedPackets = 0;
}

// Looks at every datagram before ENet does. One that is too short for ENet's
// header, compressed (no peer of this game compresses), a connection request
// without its connect command, or addressed to a peer that is not connected
// from the sender's address, is dropped here and counted; the rest goes on
// to ENet, which checks the commands inside.
static int ENET_CALLBACK Intercept(ENetHost *h, ENetEvent *) {
    const uint8_t *d = h->receivedData;
    size_t n = h->receivedDataLength;
    bool ok = n >= 2 + sizeof(ENetProtocolCommandHeader);
    if (ok) {
        uint16_t word = NetGet16(d);
        uint16_t id = word & ENET_PROTOCOL_MAXIMUM_PEER_ID;
        uint8_t session = (uint8_t)((word & ENET_PROTOCOL_HEADER_SESSION_MASK) >>
                                    ENET_PROTOCOL_HEADER_SESSION_SHIFT);
        size_t head = (word & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) ? 4 : 2;
        if (word & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED)
            ok = false;
        else if (n < head + sizeof(ENetProtocolCommandHeader))
            ok = false;
        else if (id == ENET_PROTOCOL_MAXIMUM_PEER_ID)
            ok = (d[head] & ENET_PROTOCOL_COMMAND_MASK) == ENET_PROTOCOL_COMMAND_CONNECT &&
                 n >= head + sizeof(ENetProtocolConnect);
        else if (id >= h->peerCount)
            ok = false;
        else {
            const ENetPeer *p = &h->peers[id];
            ok = p->state != ENET_PEER_STATE_DISCONNECTED && p->state != ENET_PEER_STATE_ZOMBIE &&
                 p->address.host == h->receivedAddress.host &&
                 p->address.port == h->receivedAddress.port &&
                 (p->outgoingPeerID >= ENET_PROTOCOL_MAXIMUM_PEER_ID ||
                  session == p->incomingSessionID);
        }
    }
    if (ok)
        return 0;
    net_dropped[DROP_GARBAGE]++;
    return 1;
}

bool NetServerOpen(const char *addr, uint16_t port, uint16_t *bound) {
    if (enet_initialize() != 0) {
        fprintf(stderr, "marrowdigger-server: cannot start ENet\n");
        return false;
    }
    ENetAddress a;
    a.host = ENET_HOST_ANY;
    a.port = port;
    if (addr && *addr && enet_address_set_host_ip(&a, addr) != 0) {
        fprintf(stderr, "marrowdigger-server: '%s' is no IPv4 address\n", addr);
        return false;
    }
    host = enet_host_create(&a, NET_MAX_CONNS, NET_CHANNELS, 0, 0);
    if (!host) {
        fprintf(stderr, "marrowdigger-server: cannot listen on %s:%u (in use?)\n",
                addr && *addr ? addr : "0.0.0.0", (unsigned)port);
        return false;
    }
    host->maximumPacketSize = PACKET_LIMIT;
    host->maximumWaitingData = WAITING_LIMIT;
    host->intercept = Intercept;
    ENetAddress got;
    *bound = enet_socket_get_address(host->socket, &got) == 0 ? got.port : port;
    return true;
}

// Ends connections that sent no hello within the join time, so that idle
// connections cannot keep the table full.
static void DropSilent() {
    uint32_t now = enet_time_get();
    for (int c = 0; c < NET_MAX_CONNS; c++) {
        if (!conn_peer[c] || conn_state[c] != CONN_WAITING || now - conn_since[c] <= HELLO_MS)
            continue;
        enet_peer_disconnect_now(conn_peer[c], 0);
        NetServerLeave(c);
        conn_peer[c] = NULL;
    }
}

// Connection number of a peer, or -1 for one outside the table.
static int ConnOf(const ENetPeer *peer) {
    int c = (int)peer->incomingPeerID;
    return c >= 0 && c < NET_MAX_CONNS && conn_peer[c] == peer ? c : -1;
}

// Acts on one ENet event.
static void HandleEvent(ENetEvent *ev) {
    char where[96];
    AddressText(&ev->peer->address, where, sizeof where);
    if (ev->type == ENET_EVENT_TYPE_CONNECT) {
        int c = (int)ev->peer->incomingPeerID;
        if (c < 0 || c >= NET_MAX_CONNS) {
            enet_peer_reset(ev->peer);
            return;
        }
        conn_peer[c] = ev->peer;
        conn_since[c] = enet_time_get();
        enet_peer_timeout(ev->peer, ENET_PEER_TIMEOUT_LIMIT, NET_TIMEOUT_MIN, NET_TIMEOUT_MAX);
        NetServerJoin(c);
    } else if (ev->type == ENET_EVENT_TYPE_DISCONNECT) {
        int c = ConnOf(ev->peer);
        if (c < 0)
            return;
        int slot = NetServerLeave(c);
        conn_peer[c] = NULL;
        if (slot >= 0 && !net_quiet)
            printf("slot %d left (%s)\n", slot, where);
    } else if (ev->type == ENET_EVENT_TYPE_RECEIVE) {
        int c = ConnOf(ev->peer);
        uint8_t reply[MSG_WELCOME_SIZE];
        bool close = false;
        size_t n =
            c < 0 ? 0
                  : NetServerMessage(c, ev->packet->data, ev->packet->dataLength, reply, &close);
        enet_packet_destroy(ev->packet);
        if (n > 0) {
            ENetPacket *p = enet_packet_create(reply, n, ENET_PACKET_FLAG_RELIABLE);
            if (p && enet_peer_send(ev->peer, NET_CHANNEL_RELIABLE, p) != 0)
                enet_packet_destroy(p);
        }
        if (close)
            enet_peer_disconnect_later(ev->peer, 0);
        if (n > 0 && !net_quiet && reply[0] == MSG_WELCOME)
            printf("slot %d joined (%s)\n", reply[1], where);
        if (n > 0 && !net_quiet && reply[0] == MSG_REFUSE)
            printf("refused %s: %s\n", where,
                   reply[1] == REFUSE_FULL ? "every slot is taken" : "wrong protocol version");
    }
}

void NetServerWait(uint32_t ms) {
    if (!host)
        return;
    ENetEvent ev;
    int r = enet_host_service(host, &ev, ms);
    for (int k = 0; r > 0; k++) {
        HandleEvent(&ev);
        r = k + 1 < NET_EVENTS_MAX ? enet_host_service(host, &ev, 0) : 0;
    }
    DropSilent();
    TakeCounters();
}

void NetServerSendPackages() {
    if (!host)
        return;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        int c = slot_conn[i];
        if (c < 0 || c >= NET_MAX_CONNS || !conn_peer[c])
            continue;
        ENetPacket *p = enet_packet_create(NULL, MSG_PACKAGE_SIZE, 0);
        if (!p)
            continue;
        p->data[0] = MSG_PACKAGE;
        memcpy(p->data + 1, net_server_msg + i * SERVER_SLOT, PACKAGE_COPY);
        if (enet_peer_send(conn_peer[c], NET_CHANNEL_PACKAGE, p) != 0)
            enet_packet_destroy(p);
    }
    enet_host_flush(host);
    TakeCounters();
}

void NetServerClose() {
    if (!host)
        return;
    for (int c = 0; c < NET_MAX_CONNS; c++)
        if (conn_peer[c])
            enet_peer_disconnect(conn_peer[c], NET_BYE);
    enet_host_flush(host);
    // Let the goodbyes be acknowledged, but not for long.
    ENetEvent ev;
    for (int waited = 0; waited < GOODBYE_MS; waited += 10) {
        bool left = true;
        for (int c = 0; c < NET_MAX_CONNS; c++)
            if (conn_peer[c] && conn_peer[c]->state != ENET_PEER_STATE_DISCONNECTED)
                left = false;
        if (left)
            break;
        while (enet_host_service(host, &ev, 10) > 0)
            if (ev.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(ev.packet);
    }
    TakeCounters();
    enet_host_destroy(host);
    host = NULL;
    for (int c = 0; c < NET_MAX_CONNS; c++)
        conn_peer[c] = NULL;
    enet_deinitialize();
}

uint64_t NetServerBytesSent() {
    return sent_bytes;
}

uint64_t NetServerDatagramsSent() {
    return sent_datagrams;
}

uint64_t NetServerDatagramsReceived() {
    return received_datagrams;
}
