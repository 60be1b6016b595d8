// Client of a dedicated server over ENet: the join with its handshake, the
// newest package and the command sent when it changes.
#include "net/netclient.h"

#include <stdio.h>
#include <string.h>

#include <enet/enet.h>

#include "net/link.h"
#include "net/net.h"
#include "resources/errorline.h"

uint8_t net_remote;
uint8_t net_lost;
uint8_t net_slot;
uint16_t net_level_x, net_level_y;
uint8_t net_package[PACKAGE_COPY];
uint32_t net_packages;

static NetLink server_link;            // the connection to the server
static uint8_t last_sent[CLIENT_SLOT]; // command bytes the server last got
static const char *prog = "marrowdigger";

// Takes the server's answer to the hello: a welcome that makes sense, or a
// refusal.
static int AcceptAnswer(const uint8_t *d, size_t n) {
    if (n == MSG_WELCOME_SIZE && d[0] == MSG_WELCOME && d[1] < d[2] && d[2] <= MAX_CLIENTS &&
        NetGet16(d + 4) < WORLD_X && NetGet16(d + 6) < WORLD_Y)
        return MSG_WELCOME;
    if (n == MSG_REFUSE_SIZE && d[0] == MSG_REFUSE)
        return MSG_REFUSE;
    return 0;
}

bool NetJoin(const char *who, const char *address) {
    prog = who;
    if (!LinkConnect(server_link, who, address))
        return false;
    const char *shown = server_link.shown;
    unsigned port = server_link.port;
    uint8_t hello[MSG_HELLO_SIZE];
    NetMakeHello(hello);
    LinkSend(server_link, hello, sizeof hello);
    uint8_t answer[MSG_WELCOME_SIZE];
    int type = LinkAwait(server_link, AcceptAnswer, answer, sizeof answer);
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
    server_link.peer = NULL;
}

void NetClientFrameStart() {
    if (!server_link.host || !server_link.peer) {
        memcpy(net_server_msg, net_package, PACKAGE_COPY);
        return;
    }
    ENetEvent ev;
    for (int k = 0;
         k < NET_EVENTS_MAX && server_link.peer && enet_host_service(server_link.host, &ev, 0) > 0;
         k++) {
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
    if (!server_link.host || !server_link.peer ||
        memcmp(last_sent, net_client_msg, CLIENT_SLOT) == 0)
        return;
    uint8_t msg[MSG_COMMAND_SIZE];
    msg[0] = MSG_COMMAND;
    memcpy(msg + 1, net_client_msg, CLIENT_SLOT);
    LinkSend(server_link, msg, sizeof msg);
    memcpy(last_sent, net_client_msg, CLIENT_SLOT);
    enet_host_flush(server_link.host);
}

void NetLeave() {
    LinkClose(server_link);
}
