// Join figures under a flood: real joins of the game's own client code
// (NetJoin) to a dedicated server on this machine while other loopback
// addresses flood it, and how many got in within the join window.
//
//   marrowdigger-flood --port P --kind churn|forged|squat|squat-play [--tries N] [--rate R]
//                      [--window-ms W] [--seconds-before S]
//
// churn:  41 addresses (127.0.0.20-60) x 8 ENet peers each that connect,
//         never say hello, and vanish and connect again after 0.2-2 s or
//         when the server ends them.
// forged: ENet CONNECT datagrams that expect no answer, R a second (default
//         20000), from 250 addresses in 250 different /24 networks
//         (127.10.K.1), 4 source ports each, each with a new connect id.
//
// squat:  one address (127.0.0.9) that joins as a player, takes its slot and
//         drops it at once without a goodbye, again and again, with no pause;
//         squat-play does the same but sends one command before it drops.
//
// Only loopback addresses are ever sent to. The real client joins from
// 127.0.0.1; each try is timed from its start to the welcome, then leaves.
// Prints one line per failed try and a closing line "joined X of N within W
// ms (slowest T ms)"; exit status 0 when every try joined within W ms.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <enet/enet.h>

#include "net/netclient.h"
#include "wire/protocol.h"

#define CHURN_ADDRESSES 41
#define CHURN_PER 8
#define FORGED_ADDRESSES 250
#define FORGED_PORTS 4

static uint16_t target;               // the server's port on 127.0.0.1
static std::atomic<bool> stop{false}; // ends the flood

// Milliseconds on the monotonic clock.
static long NowMs() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

// Small generator for the flood's own draws.
static uint32_t draw_state = 12345;
static uint32_t Draw() {
    draw_state = draw_state * 1103515245u + 12345u;
    return draw_state >> 8;
}

// One churning ENet host with its single peer.
struct Churner {
    ENetHost *host;
    ENetPeer *peer;
    long until; // when it vanishes and connects again
};
static Churner churners[CHURN_ADDRESSES * CHURN_PER];

// (Re)connects churner k from its address; the old host goes without a word.
static void Churn(int k) {
    Churner &c = churners[k];
    if (c.host)
        enet_host_destroy(c.host);
    char ip[32];
    snprintf(ip, sizeof ip, "127.0.0.%d", 20 + k / CHURN_PER);
    ENetAddress me, to;
    enet_address_set_host_ip(&me, ip);
    me.port = 0;
    enet_address_set_host_ip(&to, "127.0.0.1");
    to.port = target;
    c.host = enet_host_create(&me, 1, NET_CHANNELS, 0, 0);
    c.peer = c.host ? enet_host_connect(c.host, &to, NET_CHANNELS, 0) : NULL;
    if (c.peer)
        enet_peer_timeout(c.peer, ENET_PEER_TIMEOUT_LIMIT, 500, 1000);
    c.until = NowMs() + 200 + (long)(Draw() % 1800);
}

static void ChurnLoop() {
    int n = CHURN_ADDRESSES * CHURN_PER;
    for (int k = 0; k < n; k++)
        Churn(k);
    while (!stop) {
        long now = NowMs();
        for (int k = 0; k < n; k++) {
            Churner &c = churners[k];
            ENetEvent ev;
            bool ended = !c.host;
            while (c.host && enet_host_service(c.host, &ev, 0) > 0) {
                ended = ended || ev.type == ENET_EVENT_TYPE_DISCONNECT;
                if (ev.type == ENET_EVENT_TYPE_RECEIVE)
                    enet_packet_destroy(ev.packet);
            }
            if (ended || now >= c.until || !c.peer || c.peer->state == ENET_PEER_STATE_DISCONNECTED)
                Churn(k);
        }
        usleep(2000);
    }
    for (int k = 0; k < n; k++)
        if (churners[k].host)
            enet_host_destroy(churners[k].host);
}

// Writes an ENet CONNECT datagram with the given connect id into d; its size.
static size_t ForgedConnect(uint8_t *d, uint32_t id) {
    memset(d, 0, 64);
    ENetProtocolHeader *h = (ENetProtocolHeader *)d;
    h->peerID = ENET_HOST_TO_NET_16(ENET_PROTOCOL_MAXIMUM_PEER_ID);
    ENetProtocolConnect *c = (ENetProtocolConnect *)(d + 2); // no sent time
    c->header.command = ENET_PROTOCOL_COMMAND_CONNECT | ENET_PROTOCOL_COMMAND_FLAG_ACKNOWLEDGE;
    c->header.channelID = 0xFF;
    c->header.reliableSequenceNumber = ENET_HOST_TO_NET_16(1);
    c->outgoingPeerID = ENET_HOST_TO_NET_16(0);
    c->incomingSessionID = c->outgoingSessionID = 0xFF;
    c->mtu = ENET_HOST_TO_NET_32(1392);
    c->windowSize = ENET_HOST_TO_NET_32(ENET_PROTOCOL_MAXIMUM_WINDOW_SIZE);
    c->channelCount = ENET_HOST_TO_NET_32(NET_CHANNELS);
    c->packetThrottleInterval = ENET_HOST_TO_NET_32(ENET_PEER_PACKET_THROTTLE_INTERVAL);
    c->packetThrottleAcceleration = ENET_HOST_TO_NET_32(ENET_PEER_PACKET_THROTTLE_ACCELERATION);
    c->packetThrottleDeceleration = ENET_HOST_TO_NET_32(ENET_PEER_PACKET_THROTTLE_DECELERATION);
    c->connectID = id;
    return 2 + sizeof(ENetProtocolConnect);
}

static void ForgedLoop(int rate) {
    int socks[FORGED_ADDRESSES * FORGED_PORTS], n = 0;
    for (int a = 0; a < FORGED_ADDRESSES; a++)
        for (int p = 0; p < FORGED_PORTS; p++) {
            int fd = socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in me = {};
            me.sin_family = AF_INET;
            me.sin_addr.s_addr = htonl(0x7F0A0001u | (uint32_t)a << 8); // 127.10.a.1
            if (fd >= 0 && bind(fd, (sockaddr *)&me, sizeof me) == 0)
                socks[n++] = fd;
            else if (fd >= 0)
                close(fd);
        }
    if (n == 0) {
        fprintf(stderr, "marrowdigger-flood: cannot bind the forged addresses\n");
        return;
    }
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(target);
    uint8_t d[64];
    long start = NowMs();
    uint64_t sent = 0;
    while (!stop) {
        // Paced by the clock: as many as the rate allows by now.
        uint64_t due = (uint64_t)(NowMs() - start) * (uint64_t)rate / 1000u;
        for (; sent < due; sent++) {
            size_t len = ForgedConnect(d, Draw() ^ (uint32_t)sent);
            sendto(socks[sent % (uint64_t)n], d, len, 0, (sockaddr *)&to, sizeof to);
        }
        usleep(500);
    }
    for (int k = 0; k < n; k++)
        close(socks[k]);
    printf("forged CONNECTs sent: %llu in %.1f s\n", (unsigned long long)sent,
           (NowMs() - start) / 1000.0);
}

// Takes slots from 127.0.0.9 and drops each at once, without a goodbye;
// with play set, after one command. Counts the slots taken.
static std::atomic<int> squatted{0};
static void SquatLoop(bool play) {
    ENetAddress me, to;
    enet_address_set_host_ip(&me, "127.0.0.9");
    me.port = 0;
    enet_address_set_host_ip(&to, "127.0.0.1");
    to.port = target;
    while (!stop) {
        ENetHost *h = enet_host_create(&me, 1, NET_CHANNELS, 0, 0);
        ENetPeer *p = h ? enet_host_connect(h, &to, NET_CHANNELS, 0) : NULL;
        ENetEvent ev;
        long until = NowMs() + 1000;
        bool sent = false, in = false;
        while (p && !stop && !in && NowMs() < until && enet_host_service(h, &ev, 5) >= 0) {
            if (ev.type == ENET_EVENT_TYPE_CONNECT && !sent) {
                uint8_t hello[MSG_HELLO_SIZE];
                NetMakeHello(hello, 0);
                enet_peer_send(p, NET_CHANNEL_RELIABLE,
                               enet_packet_create(hello, sizeof hello, ENET_PACKET_FLAG_RELIABLE));
                sent = true;
            } else if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
                in = ev.packet->data[0] == MSG_WELCOME;
                enet_packet_destroy(ev.packet);
            } else if (ev.type == ENET_EVENT_TYPE_DISCONNECT) {
                break;
            }
        }
        if (in && play) {
            uint8_t cmd[MSG_COMMAND_SIZE] = {MSG_COMMAND, 0, 0, 0, 1, 1, 3};
            enet_peer_send(p, NET_CHANNEL_RELIABLE,
                           enet_packet_create(cmd, sizeof cmd, ENET_PACKET_FLAG_RELIABLE));
            enet_host_flush(h);
        }
        squatted += in;
        if (h)
            enet_host_destroy(h); // gone without a word
    }
}

int main(int argc, char **argv) {
    const char *kind = "churn";
    int tries = 50, rate = 20000, window = 5000, before = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--port"))
            target = (uint16_t)atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--kind"))
            kind = argv[i + 1];
        else if (!strcmp(argv[i], "--tries"))
            tries = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--rate"))
            rate = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--window-ms"))
            window = atoi(argv[i + 1]);
        else if (!strcmp(argv[i], "--seconds-before"))
            before = atoi(argv[i + 1]);
    }
    bool churn = !strcmp(kind, "churn"), forged = !strcmp(kind, "forged");
    bool squat = !strcmp(kind, "squat"), squat_play = !strcmp(kind, "squat-play");
    if (target == 0 || (!churn && !forged && !squat && !squat_play) || tries < 1 || rate < 1 ||
        rate > 200000) {
        fprintf(stderr, "usage: marrowdigger-flood --port P --kind churn|forged|squat|squat-play "
                        "[--tries N] [--rate R] [--window-ms W] [--seconds-before S]\n");
        return 2;
    }
    if (enet_initialize() != 0)
        return 1;
    std::thread flood = churn                 ? std::thread(ChurnLoop)
                        : squat || squat_play ? std::thread(SquatLoop, squat_play)
                                              : std::thread(ForgedLoop, rate);
    sleep((unsigned)before); // the flood in full swing
    char address[32];
    snprintf(address, sizeof address, "127.0.0.1:%u", (unsigned)target);
    int joined = 0;
    long slowest = 0;
    for (int t = 0; t < tries; t++) {
        long t0 = NowMs();
        bool ok = NetJoin("marrowdigger-flood", address);
        long took = NowMs() - t0;
        if (ok)
            NetLeave();
        if (ok && took <= window)
            joined++;
        else
            printf("try %d: %s after %ld ms\n", t + 1, ok ? "joined late" : "no join", took);
        slowest = took > slowest ? took : slowest;
        usleep(100 * 1000);
    }
    stop = true;
    flood.join();
    if (squat || squat_play)
        printf("slots squatted: %d\n", squatted.load());
    printf("%s flood: joined %d of %d within %d ms (slowest %ld ms)\n", kind, joined, tries, window,
           slowest);
    return joined == tries ? 0 : 1;
}
