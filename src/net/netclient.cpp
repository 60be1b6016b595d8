// Client of a dedicated server over ENet: the join with its handshake, the
// newest package and the command sent when it changes.
#include "net/netclient.h"

#include <stdio.h>
#include <string.h>

#include <enet/enet.h>

#include "net/net.h"
#include "resources/errorline.h"

#define PACKET_LIMIT 4096 // largest packet the server may send
#define GOODBYE_MS 200    // time given to the server to hear the goodbye

uint8_t net_remote;
uint8_t net_lost;
uint8_t net_slot;
uint16_t net_level_x, net_level_y;
uint8_t net_package[PACKAGE_COPY];
uint32_t net_packages;

static ENetHost *host;                 // the client's host
static ENetPeer *server;               // the server, while connected
static uint8_t last_sent[CLIENT_SLOT]; // command bytes the server last got
static const char *prog = "marrowdigger";

// Closes the host and ENet.
static void CloseHost() {
    if (host)
        enet_host_destroy(host);
    host = NULL;
    server = NULL;
    enet_deinitialize();
}

// Sends bytes reliably to the server.
static void SendReliable(const uint8_t *bytes, size_t n) {
    ENetPacket *p = enet_packet_create(bytes, n, ENET_PACKET_FLAG_RELIABLE);
    if (p && enet_peer_send(server, NET_CHANNEL_RELIABLE, p) != 0)
        enet_packet_destroy(p);
}

// Milliseconds left until deadline on ENet's clock, 0 when past.
static uint32_t Left(uint32_t deadline) {
    uint32_t now = enet_time_get();
    return (int32_t)(deadline - now) > 0 ? deadline - now : 0;
}

// Waits for the server's answer to the hello until the deadline. Returns the
// answer's type (MSG_WELCOME or MSG_REFUSE, with its bytes in answer), or 0
// when none came or the server went away.
static int AwaitAnswer(uint32_t deadline, uint8_t *answer) {
    ENetEvent ev;
    for (;;) {
        uint32_t left = Left(deadline);
        if (left == 0)
            return 0;
        int r = enet_host_service(host, &ev, left);
        if (r <= 0)
            continue;
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT)
            return 0;
        if (ev.type != ENET_EVENT_TYPE_RECEIVE)
            continue;
        const uint8_t *d = ev.packet->data;
        size_t n = ev.packet->dataLength;
        int type = 0;
        if (n == MSG_WELCOME_SIZE && d[0] == MSG_WELCOME && d[1] < d[2] && d[2] <= MAX_CLIENTS &&
            NetGet16(d + 4) < WORLD_X && NetGet16(d + 6) < WORLD_Y)
            type = MSG_WELCOME;
        else if (n == MSG_REFUSE_SIZE && d[0] == MSG_REFUSE)
            type = MSG_REFUSE;
        else
            NetCountDrop(d, n);
        if (type)
            memcpy(answer, d, n);
        enet_packet_destroy(ev.packet);
        if (type)
            return type;
    }
}

bool NetJoin(const char *who, const char *address) {
    prog = who;
    char name[256], shown[ECHO_SIZE];
    uint16_t port = NET_DEFAULT_PORT;
    if (!NetParseAddress(address, name, sizeof name, &port)) {
        EchoText(address, shown);
        fprintf(stderr, "%s: '%s' is no server address (HOST or HOST:PORT)\n", prog, shown);
        return false;
    }
    EchoText(name, shown);
    if (enet_initialize() != 0) {
        fprintf(stderr, "%s: cannot start ENet\n", prog);
        return false;
    }
    uint32_t deadline = enet_time_get() + NET_CONNECT_MS;
    ENetAddress a;
    a.port = port;
    host = enet_host_create(NULL, 1, NET_CHANNELS, 0, 0);
    if (!host || enet_address_set_host(&a, name) != 0) {
        fprintf(stderr, "%s: cannot reach %s:%u (unknown host)\n", prog, shown, (unsigned)port);
        CloseHost();
        return false;
    }
    host->maximumPacketSize = PACKET_LIMIT;
    server = enet_host_connect(host, &a, NET_CHANNELS, 0);
    ENetEvent ev;
    bool connected = false;
    while (server && !connected) {
        uint32_t left = Left(deadline);
        if (left == 0 || enet_host_service(host, &ev, left) < 0)
            break;
        if (ev.type == ENET_EVENT_TYPE_CONNECT)
            connected = true;
        else if (ev.type == ENET_EVENT_TYPE_DISCONNECT)
            break;
        else if (ev.type == ENET_EVENT_TYPE_RECEIVE)
            enet_packet_destroy(ev.packet);
    }
    if (!connected) {
        fprintf(stderr, "%s: cannot reach the server at %s:%u\n", prog, shown, (unsigned)port);
        CloseHost();
        return false;
    }
    enet_peer_timeout(server, ENET_PEER_TIMEOUT_LIMIT, NET_TIMEOUT_MIN, NET_TIMEOUT_MAX);
    uint8_t hello[MSG_HELLO_SIZE];
    NetMakeHello(hello);
    SendReliable(hello, sizeof hello);
    uint8_t answer[MSG_WELCOME_SIZE];
    int type = AwaitAnswer(deadline, answer);
    if (type == MSG_WELCOME) {
        net_slot = answer[1];
        net_level_x = NetGet16(answer + 4);
        net_level_y = NetGet16(answer + 6);
        net_remote = 1;
        return true;
    }
    if (type == MSG_REFUSE && answer[1] == REFUSE_FULL)
        fprintf(stderr, "%s: the server at %s:%u is full\n", prog, shown, (unsigned)port);
    else if (type == MSG_REFUSE && answer[1] == REFUSE_VERSION)
        fprintf(stderr, "%s: the server at %s:%u speaks protocol version %u, this game %u\n", prog,
                shown, (unsigned)port, (unsigned)NetGet16(answer + 2), (unsigned)NET_VERSION);
    else if (type == MSG_REFUSE)
        fprintf(stderr, "%s: the server at %s:%u refused the join for an unknown reason (%u)\n",
                prog, shown, (unsigned)port, (unsigned)answer[1]);
    else
        fprintf(stderr, "%s: the server at %s:%u did not answer the join\n", prog, shown,
                (unsigned)port);
    NetLeave();
    return false;
}

void NetClientStart() {
    mapsizex[0] = net_level_x;
    mapsizey[0] = net_level_y;
}

// The server has gone: one line, and the loop ends after this frame.
static void Lost(const char *why) {
    fprintf(stderr, "%s: %s\n", prog, why);
    net_lost = 1;
    GameLoopEnabled = 0;
    server = NULL;
}

void NetClientFrameStart() {
    if (!host || !server) {
        memcpy(net_server_msg, net_package, PACKAGE_COPY);
        return;
    }
    ENetEvent ev;
    for (int k = 0; k < NET_EVENTS_MAX && server && enet_host_service(host, &ev, 0) > 0; k++) {
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT) {
            Lost(ev.data == NET_BYE ? "the server ended the game"
                                    : "lost the connection to the server");
        } else if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
            const uint8_t *d = ev.packet->data;
            size_t n = ev.packet->dataLength;
            if (n == MSG_PACKAGE_SIZE && d[0] == MSG_PACKAGE) {
                memcpy(net_package, d + 1, PACKAGE_COPY);
                net_packages++;
            } else {
                NetCountDrop(d, n);
            }
            enet_packet_destroy(ev.packet);
        }
    }
    memcpy(net_server_msg, net_package, PACKAGE_COPY);
}

void NetClientFrameEnd() {
    if (!host || !server || memcmp(last_sent, net_client_msg, CLIENT_SLOT) == 0)
        return;
    uint8_t msg[MSG_COMMAND_SIZE];
    msg[0] = MSG_COMMAND;
    memcpy(msg + 1, net_client_msg, CLIENT_SLOT);
    SendReliable(msg, sizeof msg);
    memcpy(last_sent, net_client_msg, CLIENT_SLOT);
    enet_host_flush(host);
}

void NetLeave() {
    if (!host)
        return;
    // The goodbye is acknowledged (or its time runs out) before the host
    // closes, so the server frees the connection at once.
    if (server && server->state != ENET_PEER_STATE_DISCONNECTED) {
        enet_peer_disconnect(server, 0);
        ENetEvent ev;
        uint32_t deadline = enet_time_get() + GOODBYE_MS;
        while (Left(deadline) > 0 && enet_host_service(host, &ev, Left(deadline)) > 0) {
            if (ev.type == ENET_EVENT_TYPE_DISCONNECT)
                break;
            if (ev.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(ev.packet);
        }
    }
    CloseHost();
}
