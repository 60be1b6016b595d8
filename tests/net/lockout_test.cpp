// A server under a flood of idle peers from other loopback addresses: half-
// open handshakes renewed every 2 s and silent connections that come back
// whenever they are dropped, more of them than the server has peers. A real
// player on 127.0.0.1 still joins within 3 s, every time. Making room ends
// the oldest spare peer.
#include "net/followers.h"
#include "net/netserver.h"
#include "net/serverhost.h"

namespace {

#define HALF_OPEN 8 // half-open attackers, on 127.0.0.2 and 127.0.0.3
#define SILENT 64   // silent attackers, NET_PER_ADDRESS each on 127.0.0.4 and up

// One attacking ENet host with its single peer.
struct Attacker {
    ENetHost *host = nullptr;
    ENetPeer *peer = nullptr;
    long since = 0; // when it last (re)connected
};

Attacker half_open[HALF_OPEN], silent[SILENT];
uint16_t target; // the server's port

// Opens a new connection from host ip to the server; the host is made anew.
void Reconnect(Attacker &a, const char *ip) {
    if (a.host)
        enet_host_destroy(a.host); // no goodbye: the server hears nothing
    ENetAddress me, to;
    enet_address_set_host_ip(&me, ip);
    me.port = 0;
    enet_address_set_host_ip(&to, "127.0.0.1");
    to.port = target;
    a.host = enet_host_create(&me, 1, NET_CHANNELS, 0, 0);
    ASSERT_NE(a.host, nullptr) << ip;
    a.peer = enet_host_connect(a.host, &to, NET_CHANNELS, 0);
    // A dropped peer notices soon and comes back.
    enet_peer_timeout(a.peer, ENET_PEER_TIMEOUT_LIMIT, 500, 1000);
    enet_host_flush(a.host);
    a.since = NowMs();
}

// Loopback address of attacker k of a group starting at first.
std::string AddressOf(int first, int k, int per) {
    return "127.0.0." + std::to_string(first + k / per);
}

// One step of both attacks: the half-open hosts are never served (their
// handshake never completes) and start over every 2 s; the silent ones are
// served, never say hello, and reconnect when their connection ends.
void AttackStep() {
    for (int k = 0; k < HALF_OPEN; k++)
        if (NowMs() - half_open[k].since >= 2000)
            Reconnect(half_open[k], AddressOf(2, k, 4).c_str());
    for (int k = 0; k < SILENT; k++) {
        Attacker &a = silent[k];
        ENetEvent ev;
        bool dropped = false;
        while (enet_host_service(a.host, &ev, 0) > 0)
            dropped = dropped || ev.type == ENET_EVENT_TYPE_DISCONNECT;
        if (dropped || a.peer->state == ENET_PEER_STATE_DISCONNECTED)
            Reconnect(a, AddressOf(4, k, NET_PER_ADDRESS).c_str());
    }
}

TEST(Lockout, PlayerJoinsWithinThreeSecondsUnderAFloodOfIdlePeers) {
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--turn-ms", "100", "--quiet"}));
    target = s.port;
    EnetUp();
    for (int k = 0; k < HALF_OPEN; k++)
        Reconnect(half_open[k], AddressOf(2, k, 4).c_str());
    for (int k = 0; k < SILENT; k++)
        Reconnect(silent[k], AddressOf(4, k, NET_PER_ADDRESS).c_str());
    pump_hook = AttackStep;
    long start = NowMs(), bound = 3000 + (getenv("MD_TEST_EMULATOR") ? 10000 : 0);
    std::string times;
    for (int j = 0; j < 3; j++) {
        while (NowMs() - start < 4000 + j * 10000) // the attack is in full swing
            AttackStep();
        long t0 = NowMs();
        TestClient player;
        bool joined = Join(player, s.port, NET_VERSION, 10000);
        long took = NowMs() - t0;
        times += " " + std::to_string(took) + " ms";
        EXPECT_TRUE(joined) << j;
        EXPECT_LE(took, bound) << j;
        enet_peer_disconnect_now(player.peer, 0);
        Vanish(player);
    }
    while (NowMs() - start < 30000)
        AttackStep();
    pump_hook = nullptr;
    for (Attacker &a : half_open)
        enet_host_destroy(a.host);
    for (Attacker &a : silent)
        enet_host_destroy(a.host);
    kill(s.pid, SIGTERM);
    ASSERT_EQ(WaitServer(s, 10000), 0);
    std::string out = ReadFile(s.out);
    printf("joins under attack:%s; %ld half-open and %ld silent peers ended\n", times.c_str(),
           Total(out, "half-open"), Total(out, "silent"));
    EXPECT_GT(Total(out, "half-open"), 0) << out;
    EXPECT_GT(Total(out, "silent"), 0) << out;
}

// The make-room step never ends a follower, though it came first: more
// half-open peers than the server has, each from an address of its own.
TEST(Lockout, AFollowerOutlastsHalfOpenPeersFromManyAddresses) {
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--turn-ms", "20", "--spectators", "1"}));
    target = s.port;
    Watcher w;
    ASSERT_TRUE(Follow(w, s.port));
    static Attacker crowd[NET_MAX_CONNS + 8];
    for (int k = 0; k < NET_MAX_CONNS + 8; k++)
        Reconnect(crowd[k], ("127.0.1." + std::to_string(k + 1)).c_str());
    for (long start = NowMs(); NowMs() - start < 1000; SleepFor(2))
        PumpWatcher(w);
    for (Attacker &a : crowd)
        enet_host_destroy(a.host);
    kill(s.pid, SIGTERM);
    ASSERT_EQ(WaitServer(s, 10000), 0);
    std::string out = ReadFile(s.out);
    EXPECT_EQ(out.find("spectator left"), std::string::npos) << out;
    EXPECT_GT(Total(out, "half-open"), 0) << out;
}

// Serves the server's host of this process without waiting.
void ServeHere() {
    NetServerWait(0);
}

// Serves the server's host of this process until it has received n
// datagrams in all (at most 10 s).
void ServeUntil(uint64_t n) {
    for (long start = NowMs(); NetServerDatagramsReceived() < n && NowMs() - start < 10000;)
        NetServerWait(1);
}

// A connection request from the loopback address ip to the server at port,
// never served again: a peer that stays half-open.
ENetHost *HalfOpen(const std::string &ip, uint16_t port) {
    ENetAddress me, to;
    enet_address_set_host_ip(&me, ip.c_str());
    me.port = 0;
    enet_address_set_host_ip(&to, "127.0.0.1");
    to.port = port;
    ENetHost *h = enet_host_create(&me, 1, NET_CHANNELS, 0, 0);
    if (h && enet_host_connect(h, &to, NET_CHANNELS, 0))
        enet_host_flush(h);
    return h;
}

// Every peer taken by a half-open one, each from an address of its own: a
// request ends the oldest to make room, so a player whose handshake has
// only begun outlasts the request after it, and joins. The host runs in
// this process so that each request is served before the next is sent.
TEST(Lockout, MakingRoomEndsTheOldestSparePeer) {
    NetServerReset(1);
    uint16_t port;
    ASSERT_TRUE(NetServerOpen("127.0.0.1", 0, &port));
    EnetUp();
    std::vector<ENetHost *> crowd;
    for (int k = 0; k < NET_ENET_CONNS; k++) {
        crowd.push_back(HalfOpen("127.0.2." + std::to_string(k + 1), port));
        ASSERT_TRUE(crowd.back());
        ServeUntil(k + 1);
    }
    TestClient player;
    player.host = enet_host_create(nullptr, 1, NET_CHANNELS, 0, 0);
    ENetAddress to;
    enet_address_set_host_ip(&to, "127.0.0.1");
    to.port = port;
    player.peer = enet_host_connect(player.host, &to, NET_CHANNELS, 0);
    enet_host_flush(player.host);
    ServeUntil(NET_ENET_CONNS + 1);
    crowd.push_back(HalfOpen("127.0.3.1", port)); // the player has not answered yet
    ServeUntil(NET_ENET_CONNS + 2);
    EXPECT_GE(NetServerHalfOpenEnded(), 2u);
    pump_hook = ServeHere;
    for (long start = NowMs(); player.peer->state != ENET_PEER_STATE_CONNECTED && !player.gone &&
                               NowMs() - start < 10000;)
        PumpFor(player, 1);
    std::vector<uint8_t> hello(MSG_HELLO_SIZE);
    NetMakeHello(hello.data(), 0);
    Send(player, hello);
    for (long start = NowMs(); player.slot < 0 && !player.gone && NowMs() - start < 10000;)
        PumpFor(player, 5);
    pump_hook = nullptr;
    EXPECT_EQ(player.slot, 0);
    NetServerClose(NET_BYE);
    Vanish(player);
    for (ENetHost *h : crowd)
        enet_host_destroy(h);
}

} // namespace
