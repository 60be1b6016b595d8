// Followers of a live server: a late headless follower rebuilds the
// world of two scripted players turn for turn; refusals get one line; stray
// traffic from a follower is dropped and counted; a follower that stops
// reading is dropped while the turns go on.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "net/followers.h"
#include "world/gameserver.h"
#include "world/mapload.h"
#include "world/snapshot.h"

namespace {

int CountLines(const std::string &text) {
    int n = 0;
    for (char ch : text)
        n += ch == '\n';
    return n;
}

TEST(Follow, LateFollowerRebuildsTwoPlayersGameFor2000Turns) {
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server",
                            {"--players", "2", "--turn-ms", "5", "--turns", "2000", "--hash-every",
                             "100", "--spectators", "2"}));
    TestClient a, b;
    ASSERT_TRUE(Join(a, s.port));
    ASSERT_TRUE(Join(b, s.port));
    const uint8_t moves[] = {3, 5, 0, 7, 1, 4, 8, 2, 6};
    pid_t follower = -1;
    for (int i = 0; !(a.gone && b.gone) && i < 100000; i++) {
        if (i % 10 == 0) {
            Send(a, MoveCommand(moves[(i / 10) % 9]));
            Send(b, MoveCommand(moves[(i / 10 + 4) % 9]));
        }
        PumpFor(a, 2);
        PumpFor(b, 2);
        if (follower < 0 && (uint32_t)PackageTurn(a.pkg) >= 600)
            follower = StartFollower(s.port, dir, "follower");
    }
    ASSERT_EQ(WaitServer(s, 30000), 0);
    ASSERT_GT(follower, 0);
    EXPECT_EQ(ExitStatus(follower, 30000), 0) << ReadFile(dir + "/follower.err");
    std::map<unsigned, std::string> live = HashLines(ReadFile(s.out));
    ASSERT_EQ(live.size(), 20u);
    EXPECT_EQ(HashLines(ReadFile(dir + "/follower.out")), live);
    std::string err = ReadFile(dir + "/follower.err");
    EXPECT_NE(err.find("caught up with turn"), std::string::npos) << err;
    EXPECT_EQ(err.find("out of step"), std::string::npos) << err;
}

TEST(Follow, RefusalsGetOneLineAndStrayTrafficIsCounted) {
    std::string dir = TempDir();
    Server none;
    ASSERT_TRUE(StartServer(none, dir, "none", {"--turn-ms", "5", "--turns", "400"}));
    EXPECT_EQ(ExitStatus(StartFollower(none.port, dir, "a"), 20000), 1);
    std::string err = ReadFile(dir + "/a.err");
    EXPECT_NE(err.find("takes no spectators"), std::string::npos) << err;
    EXPECT_EQ(CountLines(err), 1) << err;
    WaitServer(none, 20000);

    Server s;
    ASSERT_TRUE(StartServer(
        s, dir, "server",
        {"--turn-ms", "5", "--turns", "600", "--spectators", "1", "--spectator-delay", "0"}));
    Watcher w;
    ASSERT_TRUE(Follow(w, s.port));
    EXPECT_EQ(ExitStatus(StartFollower(s.port, dir, "b"), 20000), 1);
    err = ReadFile(dir + "/b.err");
    EXPECT_NE(err.find("has every spectator place taken"), std::string::npos) << err;
    EXPECT_EQ(CountLines(err), 1) << err;

    // A follower sends nothing after its follow: all of this is dropped.
    std::vector<uint8_t> hello(MSG_HELLO_SIZE), again(MSG_FOLLOW_ASK_SIZE);
    NetMakeHello(hello.data(), 0);
    NetMakeGreeting(again.data(), MSG_FOLLOW_ASK);
    Send(w.c, hello);                    // order
    Send(w.c, MoveCommand(3));           // order
    Send(w.c, again);                    // order
    Send(w.c, {99, 1, 2});               // type
    Send(w.c, {MSG_STREAM, 0, 1, 2, 3}); // type: never goes this way
    Send(w.c, {MSG_FOLLOW, 1, 0});       // size
    long before = w.stream;
    for (long start = NowMs(); !w.c.gone && NowMs() - start < 30000;) {
        PumpWatcher(w);
        SleepFor(2);
    }
    ASSERT_EQ(WaitServer(s, 30000), 0);
    EXPECT_GT(w.stream, before); // still following
    std::string out = ReadFile(s.out);
    EXPECT_EQ(Total(out, "order"), 3) << out;
    EXPECT_EQ(Total(out, "type"), 2) << out;
    EXPECT_EQ(Total(out, "size"), 1) << out;
    EXPECT_NE(out.find("spectator joined at turn"), std::string::npos) << out;
}

TEST(Follow, StalledFollowerIsDroppedWhileTheTurnsGoOn) {
    std::string dir = TempDir();
    Server s;
    long start = NowMs();
    ASSERT_TRUE(StartServer(s, dir, "server",
                            {"--players", "1", "--turn-ms", "5", "--turns", "3000", "--spectators",
                             "2", "--spectator-delay", "0", "--hash-every", "500"}));
    TestClient player;
    ASSERT_TRUE(Join(player, s.port));
    Watcher stalled, reading;
    ASSERT_TRUE(Follow(stalled, s.port));
    ASSERT_TRUE(Follow(reading, s.port));
    // The stalled one never reads again; the player changes its move every
    // few turns so that the stream keeps growing.
    uint8_t move = 1;
    while (!player.gone && NowMs() - start < 120000) {
        Send(player, MoveCommand(move = (uint8_t)(move % 8 + 1)));
        for (int k = 0; k < 10; k++) {
            Pump(player);
            PumpWatcher(reading);
            SleepFor(2);
        }
    }
    ASSERT_EQ(WaitServer(s, 30000), 0);
    double wall = (NowMs() - start) / 1000.0;
    std::string out = ReadFile(s.out);
    EXPECT_EQ(Total(out, "turns"), 3000) << out;
    EXPECT_NE(out.find("spectator left"), std::string::npos) << out;
    EXPECT_GT(reading.stream, 3000);
    printf("3000 turns of 5 ms with a stalled spectator: %.1f s\n", wall);
    Vanish(stalled.c);
}

TEST(Follow, SlowFollowerGetsTheWholeStreamAndTheGoodbyeAtTheEnd) {
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server",
                            {"--players", "1", "--turn-ms", "5", "--turns", "300", "--spectators",
                             "1", "--spectator-delay", "0", "--all-creatures"}));
    Watcher slow;
    ASSERT_TRUE(Follow(slow, s.port));
    // Busy catching up: it hears the server only every 600 ms, so the end
    // of the stream and the goodbye take it more than one such pause.
    for (long start = NowMs(); !slow.c.gone && NowMs() - start < 15000;) {
        SleepFor(600);
        PumpWatcher(slow);
    }
    ASSERT_EQ(WaitServer(s, 10000), 0);
    EXPECT_TRUE(slow.c.gone);
    std::string out = ReadFile(s.out);
    EXPECT_EQ(slow.bye, (uint32_t)NET_BYE) << out;
    EXPECT_EQ(Total(out, "stream"), slow.stream) << out; // every byte of it
}

// A stand-in server for one follower: the welcome to a one-player game at
// turn 3, the snapshot of its start (its hash spoiled when asked), the
// stream message, then a goodbye with the given code or, for -1, silence as
// of a killed server. The follower's exit status; its stderr in *err.
struct Ending {
    std::vector<uint8_t> stream;
    int bye;
    bool bad_hash;
    const char *says;
    int status;
};

int StandIn(const Ending &e, const std::string &dir, std::string *err) {
    LoadServerData();
    turn = 0;
    StartWorld(1, SETUP_RESTART);
    uint8_t slots[MAX_CLIENTS * CLIENT_SLOT] = {};
    std::vector<uint8_t> snap(MSG_SNAPSHOT_MAX), hi(MSG_FOLLOW_SIZE);
    snap.resize(MSG_SNAPSHOT_HEAD + SnapshotWrite(&snap[MSG_SNAPSHOT_HEAD], slots));
    snap[0] = MSG_SNAPSHOT;
    PutBE64(&snap[1], WorldHash() ^ e.bad_hash);
    PutBE32(&snap[9], 0);
    hi[0] = MSG_FOLLOW, hi[1] = 1, PutBE32(&hi[5], 3), PutBE64(&hi[9], DataHash());
    EnetUp();
    ENetAddress a = {htonl(INADDR_LOOPBACK), 0};
    TestClient server;
    server.host = enet_host_create(&a, 1, NET_CHANNELS, 0, 0);
    pid_t follower = StartFollower(server.host->address.port, dir, "f");
    ENetEvent ev;
    for (long start = NowMs(); NowMs() - start < 20000 && server.host;) {
        if (enet_host_service(server.host, &ev, 10) <= 0)
            continue;
        if (ev.type == ENET_EVENT_TYPE_CONNECT)
            server.peer = ev.peer;
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT)
            break;
        if (ev.type != ENET_EVENT_TYPE_RECEIVE)
            continue;
        enet_packet_destroy(ev.packet);
        Send(server, hi), Send(server, snap), Send(server, e.stream);
        if (e.bye >= 0) {
            enet_peer_disconnect_later(server.peer, (uint32_t)e.bye);
            continue;
        }
        for (long t = NowMs(); NowMs() - t < 500;) // delivered, then killed
            enet_host_service(server.host, &ev, 10);
        Vanish(server);
    }
    Vanish(server);
    int status = ExitStatus(follower, 30000);
    *err = ReadFile(dir + "/f.err");
    return status;
}

// A stopped server (the service's restart) is waited for; its new game is followed.
TEST(Follow, AStoppedServerIsWaitedForAndItsNewGameFollowed) {
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "first", {"--turn-ms", "20", "--spectators", "1"}));
    pid_t follower = StartFollower(s.port, dir, "follower");
    ASSERT_TRUE(AwaitText(dir + "/follower.err", "caught up with turn", 20000));
    kill(s.pid, SIGTERM);
    EXPECT_EQ(WaitServer(s, 10000), 0);
    ASSERT_TRUE(AwaitText(dir + "/follower.err", "the server stopped; waiting", 10000));
    ASSERT_TRUE(StartServer(s, dir, "second",
                            {"--turn-ms", "5", "--turns", "400", "--hash-every", "100",
                             "--spectators", "1", "--port", std::to_string(s.port)})); // its port
    ASSERT_EQ(WaitServer(s, 30000), 0);
    EXPECT_EQ(ExitStatus(follower, 30000), 0) << ReadFile(dir + "/follower.err");
    std::string err = ReadFile(dir + "/follower.err");
    EXPECT_NE(err.find("the server is back: following its new game"), std::string::npos) << err;
    std::string out = ReadFile(dir + "/follower.out"); // the new game's last hash line
    EXPECT_NE(out.find("turn 400 hash " + HashLines(ReadFile(s.out))[400]), std::string::npos);
}

TEST(Follow, EveryEndOfTheStreamButTheGamesIsAFailure) {
    // A hash point after turn 1 that no world has.
    const std::vector<uint8_t> unknown_hash = {MSG_STREAM, 1, 0, 0xFE, 1, 2, 3, 4, 5, 6, 7, 8};
    const Ending endings[] = {
        {{MSG_STREAM, 1, 0, 1, 0, 1, 0}, NET_BYE, false, "the watched game ended", 0},
        {{MSG_STREAM, 1, 0, 1, 2, 1, 3}, NET_BYE, false, "the stream broke off", 1},
        {{MSG_STREAM, 1, 0, 1, 1, 128, 5}, NET_BYE, false, "a bad stream", 1},
        {{MSG_STREAM, 1, 0}, NET_BEHIND, false, "fell behind", 1},
        {{MSG_STREAM, 1, 0}, NET_REPLACED, false, "lost the server", 1},
        {{MSG_STREAM, 1, 0}, -1, false, "lost the server", 1},
        {{MSG_STREAM, 1, 0}, NET_BYE, true, "out of step at the snapshot of turn 0", 1},
        {unknown_hash, NET_BYE, false, "out of step at turn 1", 1},
    };
    std::string dir = TempDir();
    for (const Ending &e : endings) {
        std::string err;
        EXPECT_EQ(StandIn(e, dir, &err), e.status) << e.says << ": " << err;
        EXPECT_NE(err.find(e.says), std::string::npos) << err;
    }
}

TEST(Follow, FollowerOfOtherDataIsRefusedAtOnce) {
    std::string dir = TempDir(), other = TempDir();
    mkdir((other + "/data").c_str(), 0755);
    WriteFile(other + "/data/maptest.map", ReadFile(DataDir() + "/data/maptest.map") + "\n");
    WriteFile(other + "/data/tiledata.cfg", ReadFile(DataDir() + "/data/tiledata.cfg"));
    Server s;
    ASSERT_TRUE(
        StartServer(s, dir, "server",
                    {"--data", other, "--turn-ms", "5", "--turns", "400", "--spectators", "2"}));
    EXPECT_EQ(ExitStatus(StartFollower(s.port, dir, "f"), 20000), 1);
    std::string err = ReadFile(dir + "/f.err");
    EXPECT_NE(err.find("plays other data"), std::string::npos) << err;
    EXPECT_EQ(CountLines(err), 1) << err;
    EXPECT_EQ(WaitServer(s, 20000), 0);
    EXPECT_NE(ReadFile(s.out).find("a spectator of other data"), std::string::npos);
}

} // namespace
