// Helpers of the follower tests: an in-process follower that only counts
// the stream it gets, and the headless runner started as a follower.
#ifndef MD_NET_FOLLOWERS_H
#define MD_NET_FOLLOWERS_H

#include <string>
#include <vector>

#include "net/online.h"
#include "world/worldhash.h"

inline void SleepFor(int ms) {
    struct timespec t = {0, ms * 1000L * 1000L};
    nanosleep(&t, nullptr);
}

// A test client that follows: whether the follower welcome came, and the stream
// bytes it has had.
struct Watcher {
    TestClient c;
    bool following = false;
    long stream = 0;
    uint32_t bye = 0;           // the reason of the server's goodbye
    uint32_t snapshot_turn = 0; // turn of the snapshot the stream starts from
};

// Serves a following client once without waiting.
inline void PumpWatcher(Watcher &w) {
    ENetEvent ev;
    while (w.c.host && !w.c.gone && enet_host_service(w.c.host, &ev, 0) > 0) {
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT) {
            w.c.gone = true;
            w.bye = ev.data;
        } else if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
            const uint8_t *d = ev.packet->data;
            size_t n = ev.packet->dataLength;
            if (n == MSG_FOLLOW_SIZE && d[0] == MSG_FOLLOW)
                w.following = true;
            else if (n > MSG_SNAPSHOT_HEAD && d[0] == MSG_SNAPSHOT)
                w.snapshot_turn = GetBE32(d + 9);
            else if (n == MSG_REFUSE_SIZE && d[0] == MSG_REFUSE)
                w.c.refused = d[1];
            else if (n >= 2 && d[0] == MSG_STREAM)
                w.stream += (long)n - 1;
            enet_packet_destroy(ev.packet);
        }
    }
}

// Connects (from the loopback address `from`, 127.0.0.1 when empty: the
// server takes a few connections from one address) and asks to follow;
// true when the follower welcome came within 10 s.
inline bool Follow(Watcher &w, uint16_t port, const char *from = "") {
    EnetUp();
    w.c = TestClient();
    ENetAddress local;
    local.port = 0;
    bool bound = *from && enet_address_set_host_ip(&local, from) == 0;
    w.c.host = enet_host_create(bound ? &local : nullptr, 1, NET_CHANNELS, 0, 0);
    ENetAddress a;
    enet_address_set_host_ip(&a, "127.0.0.1");
    a.port = port;
    w.c.peer = w.c.host ? enet_host_connect(w.c.host, &a, NET_CHANNELS, 0) : nullptr;
    ENetEvent ev;
    bool connected = false;
    for (long start = NowMs(); w.c.peer && !connected && NowMs() - start < 10000;)
        connected = enet_host_service(w.c.host, &ev, 10) > 0 && ev.type == ENET_EVENT_TYPE_CONNECT;
    if (!connected)
        return false;
    std::vector<uint8_t> m(MSG_FOLLOW_ASK_SIZE);
    NetMakeFollowAsk(m.data(), DataHash()); // the tests run in the data folder
    Send(w.c, m);
    for (long start = NowMs(); NowMs() - start < 10000 && !w.following && !w.c.refused;) {
        PumpWatcher(w);
        SleepFor(2);
    }
    return w.following;
}

// Starts the headless runner as a follower of the server on port.
inline pid_t StartFollower(uint16_t port, const std::string &dir, const std::string &name) {
    return StartProgram({BuildProgram("marrowdigger-headless"), "--data", DataDir(), "--spectate",
                         "127.0.0.1:" + std::to_string(port), "--hash-every", "100"},
                        dir + "/" + name + ".out", dir + "/" + name + ".err");
}

#endif
