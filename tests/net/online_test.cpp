// The dedicated server and its clients over loopback, each test bounded in
// time: refusals, lying peers and garbage, a killed client, a killed server,
// records and their replay, a lossy link, the idle server and a long load.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "net/netserver.h"
#include "net/relay.h"
#include "net/serverhost.h"

namespace {

// The game as a client of the server on port, started in the data folder
// (the test's working folder) with the dummy video driver.
pid_t StartGameClient(uint16_t port, const std::string &dir, const std::string &name) {
    // No sound card is needed, nor its complaints on stderr; the players'
    // tokens stay in the test's folder.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    return StartProgram(
        {BuildProgram("marrowdigger"), "--connect", "127.0.0.1:" + std::to_string(port)},
        dir + "/" + name + ".out", dir + "/" + name + ".err");
}

// Number of lines in a text.
int Lines(const std::string &text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

// Sends one datagram from fd to port on 127.0.0.1.
void SendTo(int fd, uint16_t port, const std::vector<uint8_t> &bytes) {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    sendto(fd, bytes.data(), bytes.size(), 0, (sockaddr *)&a, sizeof a);
}

// CPU seconds of the children waited for so far.
double ChildCpu() {
    rusage u;
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST(Online, RefusalsAndAnUnreachableServerEndTheClientWithOneLine) {
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--turn-ms", "50"}));
    TestClient c[4];
    bool seen[MAX_CLIENTS] = {};
    for (TestClient &t : c) {
        ASSERT_TRUE(Join(t, s.port, NET_VERSION, 10000, 0, (int)(&t - c))); // an address each
        ASSERT_FALSE(seen[t.slot]);
        seen[t.slot] = true;
    }
    // A fifth client, the headless runner, refused as the server is full
    // (the players are heard meanwhile: they are in play).
    pid_t fifth = StartProgram({BuildProgram("marrowdigger-headless"), "--data", DataDir(),
                                "--connect", "127.0.0.1:" + std::to_string(s.port)},
                               dir + "/fifth.out", dir + "/fifth.err");
    int status = -1, st = 0;
    for (long at = NowMs(); status < 0 && NowMs() - at < 20000;) {
        for (TestClient &t : c)
            PumpFor(t, 2);
        if (waitpid(fifth, &st, WNOHANG) == fifth)
            status = WIFEXITED(st) ? WEXITSTATUS(st) : 128;
    }
    EXPECT_EQ(status, 1);
    std::string err = ReadFile(dir + "/fifth.err");
    EXPECT_NE(err.find("is full"), std::string::npos) << err;
    EXPECT_EQ(Lines(err), 1) << err;
    // Another protocol version is refused too, slots or no slots.
    Vanish(c[3]);
    TestClient old;
    EXPECT_FALSE(Join(old, s.port, NET_VERSION + 1));
    EXPECT_EQ(old.refused, REFUSE_VERSION);
    kill(s.pid, SIGTERM);
    EXPECT_EQ(WaitServer(s, 10000), 0);

    // Nobody on the port: the join gives up within its time.
    uint16_t port;
    int fd = LoopbackSocket(&port);
    close(fd);
    pid_t lonely = StartGameClient(port, dir, "lonely");
    EXPECT_EQ(ExitStatus(lonely, NET_CONNECT_MS + 30000), 1);
    // From the second second on, once a second at most, how long it has
    // tried; then one line that says why.
    err = ReadFile(dir + "/lonely.err");
    std::istringstream in(err);
    std::string line;
    int told = 1, after = 0;
    while (std::getline(in, line) &&
           sscanf(line.c_str(), "%*[^:]: joining %*s no answer yet after %d s", &after) == 1) {
        EXPECT_GT(after, told) << err;
        told = after;
    }
    EXPECT_NE(line.find("cannot reach"), std::string::npos) << err;
    EXPECT_FALSE(std::getline(in, line)) << err;
    EXPECT_TRUE(told >= 2 && told < NET_CONNECT_MS / 1000) << err;
}

TEST(Online, LyingPeerAndGarbageLeaveTheWorldAsWithoutThem) {
    std::string dir = TempDir();
    std::vector<std::string> opts = {"--players", "1",   "--turn-ms",    "10",
                                     "--turns",   "150", "--hash-every", "50"};
    Server s, quiet;
    ASSERT_TRUE(StartServer(s, dir, "server", opts));
    ASSERT_TRUE(StartServer(quiet, dir, "quiet", opts));
    TestClient liar;
    ASSERT_TRUE(Join(liar, s.port));
    std::vector<uint8_t> m = MoveCommand(3);
    m.pop_back();
    for (int i = 0; i < 3; i++)
        Send(liar, m); // one byte short
    m = MoveCommand(3);
    m.insert(m.begin() + 1, 2); // a slot number in front: one byte too many
    for (int i = 0; i < 3; i++)
        Send(liar, m, i != 1);
    std::vector<uint8_t> unknown = {42, 3, 3};
    Send(liar, unknown);
    unknown = MoveCommand(3);
    unknown[0] = 0;
    Send(liar, unknown);
    unknown[0] = 200;
    Send(liar, unknown, false);
    // Garbage from another socket: too short, a made-up header for peer 0,
    // a connection request without its command, random bytes.
    uint16_t own;
    int fd = LoopbackSocket(&own);
    SendTo(fd, s.port, {1});
    SendTo(fd, s.port, {0x00, 0x00, 0x86, 0x01, 0x00, 0x01, 0x00, 0x00});
    SendTo(fd, s.port, {0x0F, 0xFF, 0x06, 0x00, 0x00, 0x01});
    std::vector<uint8_t> noise(300);
    for (size_t i = 0; i < noise.size(); i++)
        noise[i] = (uint8_t)(i * 37 + 11);
    SendTo(fd, s.port, noise);
    SendTo(fd, s.port, {}); // ENet reads an empty datagram as none at all: harmless, uncounted
    close(fd);
    for (long start = NowMs(); !liar.gone && NowMs() - start < 20000;)
        PumpFor(liar, 5);
    EXPECT_TRUE(liar.gone);
    EXPECT_EQ(liar.bye, (uint32_t)NET_BYE);
    ASSERT_EQ(WaitServer(s, 20000), 0);
    ASSERT_EQ(WaitServer(quiet, 20000), 0);
    std::string out = ReadFile(s.out);
    EXPECT_EQ(Total(out, "size"), 6) << out;
    EXPECT_EQ(Total(out, "type"), 3) << out;
    EXPECT_EQ(Total(out, "order"), 0) << out;
    EXPECT_EQ(Total(out, "garbage"), 4) << out;
    // The liar's creature never moved: the world is that of a server nobody
    // joined, turn for turn.
    std::map<unsigned, std::string> lied = HashLines(out), alone = HashLines(ReadFile(quiet.out));
    EXPECT_EQ(lied.size(), 3u);
    EXPECT_EQ(lied, alone);
}

// Serves the server's host of this process without waiting.
void ServeHere() {
    NetServerWait(0);
}

// Sends raw bytes from the client's own socket, as if ENet had sent them.
void SendRaw(TestClient &c, uint16_t port, const std::vector<uint8_t> &bytes) {
    ENetAddress to;
    enet_address_set_host_ip(&to, "127.0.0.1");
    to.port = port;
    ENetBuffer b = {(void *)bytes.data(), bytes.size()};
    enet_socket_send(c.host->socket, &to, &b, 1);
}

TEST(Online, HostCountsForgedDatagramsAndServesAFloodInBatches) {
    // The server's host runs in this process, so its counters can be read
    // after each service.
    NetServerReset(1);
    uint16_t port;
    ASSERT_TRUE(NetServerOpen("127.0.0.1", 0, &port));
    pump_hook = ServeHere;
    TestClient c;
    ASSERT_TRUE(Join(c, port));
    pump_hook = nullptr;
    // A header for the client's own peer, from its own address and session,
    // but compressed; a peer id equal to the peer count; a free peer's id.
    uint16_t id = c.peer->outgoingPeerID;
    uint16_t session = (uint16_t)(c.peer->outgoingSessionID << ENET_PROTOCOL_HEADER_SESSION_SHIFT);
    uint16_t forged[] = {(uint16_t)(id | session | ENET_PROTOCOL_HEADER_FLAG_COMPRESSED),
                         NET_MAX_CONNS, NET_MAX_CONNS - 1};
    uint32_t garbage = net_dropped[DROP_GARBAGE];
    for (uint16_t word : forged)
        SendRaw(c, port, {(uint8_t)(word >> 8), (uint8_t)word, 0x86, 0x01, 0x00, 0x01, 0, 0});
    for (long start = NowMs(); net_dropped[DROP_GARBAGE] < garbage + 3 && NowMs() - start < 2000;)
        NetServerWait(1);
    EXPECT_EQ(net_dropped[DROP_GARBAGE], garbage + 3);
    // A flood of 1000 messages is served NET_EVENTS_MAX at a time.
    std::vector<uint8_t> junk = {99, 1, 2};
    for (int k = 0; k < 1000; k++)
        enet_peer_send(c.peer, NET_CHANNEL_PACKAGE,
                       enet_packet_create(junk.data(), junk.size(), ENET_PACKET_FLAG_UNSEQUENCED));
    enet_host_flush(c.host);
    struct timespec pause = {0, 100 * 1000 * 1000};
    nanosleep(&pause, nullptr);
    EXPECT_LE(LargestBatch(ServeHere, 1000), (uint32_t)NET_EVENTS_MAX);
    NetServerClose(NET_BYE);
    Vanish(c);
}

TEST(Online, PackagesAndCommandsFollowTheSlotNotTheConnection) {
    // An idle connection takes connection number 0, so that the players'
    // connection numbers differ from their slots.
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--players", "2", "--turn-ms", "20"}));
    TestClient idle, a, b;
    ASSERT_TRUE(Connect(idle, s.port));
    enet_host_flush(idle.host);
    ASSERT_TRUE(Join(a, s.port));
    ASSERT_TRUE(Join(b, s.port));
    EXPECT_EQ(a.slot, 0);
    EXPECT_EQ(b.slot, 1);
    PumpFor(a, 100);
    PumpFor(b, 100);
    // Each sees its own creature: slot 0's at (2, 4), slot 1's at (4, 5).
    EXPECT_EQ(a.pkg[PACKAGE_X], 2);
    EXPECT_EQ(a.pkg[PACKAGE_Y], 4);
    EXPECT_EQ(b.pkg[PACKAGE_X], 4);
    EXPECT_EQ(b.pkg[PACKAGE_Y], 5);
    for (long start = NowMs(); NowMs() - start < 5000 && b.pkg[PACKAGE_Y] < 7;) {
        if (NetSeqReached(b.ack, b.seq))
            Order(b, 5); // down, a step at a time
        PumpFor(a, 2);
        PumpFor(b, 2);
    }
    EXPECT_GE(b.pkg[PACKAGE_Y], 7);
    EXPECT_EQ(b.pkg[PACKAGE_X], 4);
    EXPECT_EQ(a.pkg[PACKAGE_X], 2);
    EXPECT_EQ(a.pkg[PACKAGE_Y], 4);
    kill(s.pid, SIGTERM);
    EXPECT_EQ(WaitServer(s, 10000), 0);
}

TEST(Online, TurnsComeStrictlyAfterTheirDelayAsInTheLocalGame) {
    // More than 1 ms must pass between turns, as the local frame dispatch
    // has it: on a clock of whole milliseconds, 2 ms a turn at least, even
    // while a client's messages wake the server every fraction of one.
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(
        StartServer(s, dir, "server", {"--turn-ms", "1", "--turns", "1000", "--hash-every", "0"}));
    long start = NowMs();
    TestClient c;
    ASSERT_TRUE(Join(c, s.port));
    const std::vector<uint8_t> junk = {99};
    struct timespec tick = {0, 200 * 1000};
    while (!c.gone && NowMs() - start < 30000) {
        Send(c, junk, false);
        Pump(c);
        nanosleep(&tick, nullptr);
    }
    ASSERT_EQ(WaitServer(s, 30000), 0);
    EXPECT_GE(NowMs() - start, 1970);
    EXPECT_EQ(Total(ReadFile(s.out), "turns"), 1000);
}

TEST(Online, KilledPlayersSlotWaitsForItsTokenCreatureAndAll) {
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--players", "1", "--turn-ms", "20"}));
    TestClient first;
    ASSERT_TRUE(Join(first, s.port));
    EXPECT_EQ(first.slot, 0);
    ASSERT_NE(first.token, 0u);
    Walk(first, 3, 5000, [&] { return first.seq >= 2 && NetSeqReached(first.ack, first.seq); });
    uint8_t x = first.pkg[PACKAGE_X], y = first.pkg[PACKAGE_Y];
    // Killed and started again at once: the old connection is still there,
    // the server full, and the token takes the slot back.
    Vanish(first);
    TestClient again;
    ASSERT_TRUE(Join(again, s.port, NET_VERSION, 10000, first.token));
    EXPECT_EQ(again.slot, 0);
    EXPECT_EQ(again.token, first.token);
    // Gone without a goodbye: the slot is kept for its token, not given to
    // a player without it.
    Vanish(again);
    ASSERT_TRUE(AwaitText(s.out, "slot 0 lost", 20000)) << ReadFile(s.out);
    TestClient other;
    EXPECT_FALSE(Join(other, s.port));
    EXPECT_EQ(other.refused, REFUSE_FULL);
    TestClient back;
    ASSERT_TRUE(Join(back, s.port, NET_VERSION, 10000, first.token));
    EXPECT_EQ(back.slot, 0);
    // The creature stands where it was: the same cell in every package.
    PumpFor(back, 300);
    ASSERT_GT(back.packages, 0u);
    uint32_t turn = (uint32_t)PackageTurn(back.pkg);
    PumpFor(back, 300);
    EXPECT_GT((uint32_t)PackageTurn(back.pkg), turn + 5);
    EXPECT_EQ(back.pkg[PACKAGE_X], x);
    EXPECT_EQ(back.pkg[PACKAGE_Y], y);
    kill(s.pid, SIGTERM);
    EXPECT_EQ(WaitServer(s, 10000), 0);
}

TEST(Online, GameKilledAndStartedAgainGetsItsOwnSlotOnAFullServer) {
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--players", "1", "--turn-ms", "50"}));
    pid_t first = StartGameClient(s.port, dir, "first");
    ASSERT_TRUE(AwaitText(s.out, "slot 0 joined", 20000));
    // Killed once its token is on disk (the welcome may still be on its way).
    std::string state = dir + "/state/marrowdigger";
    std::string token = state + "/server-127.0.0.1-" + std::to_string(s.port);
    struct stat st;
    for (long start = NowMs(); stat(token.c_str(), &st) != 0 && NowMs() - start < 10000;)
        usleep(10000);
    kill(first, SIGKILL);
    ExitStatus(first, 10000);
    pid_t again = StartGameClient(s.port, dir, "again");
    bool back = false;
    for (long start = NowMs(); !back && NowMs() - start < 10000;) {
        std::string out = ReadFile(s.out);
        back = out.find("slot 0 joined", out.find("slot 0 joined") + 1) != std::string::npos;
        usleep(10000);
    }
    EXPECT_TRUE(back) << ReadFile(s.out) << ReadFile(dir + "/again.err");
    kill(s.pid, SIGTERM);
    EXPECT_EQ(WaitServer(s, 10000), 0);
    // The game waits for the stopped server until it is stopped itself.
    EXPECT_TRUE(AwaitText(dir + "/again.err", "the server stopped; waiting", 10000));
    kill(again, SIGTERM);
    EXPECT_EQ(ExitStatus(again, 10000), 0);
    EXPECT_EQ(ReadFile(s.out).find("refused"), std::string::npos);
    // Its token is kept readable by its user only.
    ASSERT_EQ(stat(state.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(token.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(Online, SilentConnectionsEndWithinTwoSecondsAndOneAddressHasItsLimit) {
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--turn-ms", "50"}));
    TestClient silent[NET_PER_ADDRESS];
    long since[NET_PER_ADDRESS], took = 0;
    for (int i = 0; i < NET_PER_ADDRESS; i++) {
        ASSERT_TRUE(Connect(silent[i], s.port)); // and never a hello
        enet_host_flush(silent[i].host);         // the handshake's last acknowledgement
        since[i] = NowMs();
    }
    // The address has its limit: one more connection from it gets no answer.
    TestClient player;
    EXPECT_FALSE(Connect(player, s.port, 1000));
    Vanish(player);
    // They are told goodbye once the time for a hello has passed.
    int gone = 0;
    for (long start = NowMs(); NowMs() - start < 20000 && gone < NET_PER_ADDRESS;) {
        gone = 0;
        for (int i = 0; i < NET_PER_ADDRESS; i++) {
            bool was = silent[i].gone;
            PumpFor(silent[i], 1);
            if (!was && silent[i].gone && NowMs() - since[i] > took)
                took = NowMs() - since[i];
            gone += silent[i].gone;
        }
    }
    EXPECT_EQ(gone, NET_PER_ADDRESS);
    printf("silent connections told goodbye after %ld ms at most\n", took);
    EXPECT_TRUE(Join(player, s.port));
    kill(s.pid, SIGTERM);
    EXPECT_EQ(WaitServer(s, 10000), 0);
    std::string out = ReadFile(s.out);
    EXPECT_EQ(Total(out, "silent"), NET_PER_ADDRESS) << out;
    EXPECT_EQ(Total(out, "half-open"), 0) << out;
}

TEST(Online, ClientEndsWithOneLineWhenTheServerGoes) {
    std::string dir = TempDir();
    Server ended, killed;
    ASSERT_TRUE(StartServer(ended, dir, "ended", {"--turn-ms", "50"}));
    ASSERT_TRUE(StartServer(killed, dir, "killed", {"--turn-ms", "50"}));
    pid_t a = StartGameClient(ended.port, dir, "a");
    pid_t b = StartGameClient(killed.port, dir, "b");
    ASSERT_TRUE(AwaitText(ended.out, "slot 0 joined", 20000));
    ASSERT_TRUE(AwaitText(killed.out, "slot 0 joined", 20000));
    // The servers go once both clients have their welcome (their tokens are
    // on disk): a slow client may still be reading it when the server says
    // it joined.
    for (uint16_t port : {ended.port, killed.port}) {
        std::string token = dir + "/state/marrowdigger/server-127.0.0.1-" + std::to_string(port);
        struct stat st;
        for (long start = NowMs(); stat(token.c_str(), &st) != 0 && NowMs() - start < 20000;)
            usleep(10000);
    }
    kill(ended.pid, SIGTERM);
    kill(killed.pid, SIGKILL);
    long killed_at = NowMs();
    // The stopped server's client waits for it, the killed one's tries to
    // get back in, for the 30 s a slot would be kept, so a restart or a cut
    // of 10 or 20 s does not end the player.
    EXPECT_EQ(ExitStatus(a, 45000), 1);
    EXPECT_EQ(ExitStatus(b, 45000), 1);
    EXPECT_GE(NowMs() - killed_at, 30000);
    WaitServer(ended, 10000);
    WaitServer(killed, 10000);
    std::string ea = ReadFile(dir + "/a.err"), eb = ReadFile(dir + "/b.err");
    EXPECT_EQ(ea, "marrowdigger: the server stopped; waiting for it to come back\n"
                  "marrowdigger: the server did not come back\n");
    EXPECT_NE(eb.find("lost the connection to the server"), std::string::npos) << eb;
    EXPECT_EQ(Lines(eb), 1) << eb;
}

// A player stopped by a signal, the game or the headless runner, says its
// goodbye: the server frees the slot at once ("left"), not as a lost one's.
TEST(Online, AStopSignalToAPlayerSaysTheGoodbye) {
    std::string dir = TempDir();
    for (std::string program : {"game", "runner"})
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
            SCOPED_TRACE(program + " signal " + std::to_string(sig));
            Server s;
            ASSERT_TRUE(StartServer(s, dir, program + std::to_string(sig), {"--turn-ms", "50"}));
            pid_t pid = program == "game"
                            ? StartGameClient(s.port, dir, "client")
                            : StartProgram({BuildProgram("marrowdigger-headless"), "--data",
                                            DataDir(), "--frames", "1000000", "--connect",
                                            "127.0.0.1:" + std::to_string(s.port)},
                                           dir + "/client.out", dir + "/client.err");
            ASSERT_TRUE(AwaitText(s.out, "slot 0 joined", 20000));
            kill(pid, sig);
            EXPECT_TRUE(AwaitText(s.out, "slot 0 left", 20000)) << ReadFile(s.out);
            ExitStatus(pid, 10000);
            kill(s.pid, SIGTERM);
            EXPECT_EQ(WaitServer(s, 10000), 0);
        }
}

TEST(Online, RecordReplaysToTheLiveHashesAndDamageIsNamed) {
    std::string dir = TempDir(), rec = dir + "/game.rec";
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server",
                            {"--players", "2", "--turn-ms", "5", "--turns", "300", "--hash-every",
                             "50", "--record", rec}));
    TestClient a, b;
    ASSERT_TRUE(Join(a, s.port));
    ASSERT_TRUE(Join(b, s.port));
    const uint8_t moves[] = {3, 5, 0, 7, 1, 4, 200, 8, 2, 6};
    for (int i = 0; !(a.gone && b.gone) && i < 4000; i++) {
        if (i % 10 == 0) {
            Send(a, MoveCommand(moves[(i / 10) % 10]));
            Send(b, MoveCommand(moves[(i / 10 + 3) % 10]));
        }
        PumpFor(a, 2);
        PumpFor(b, 2);
    }
    ASSERT_EQ(WaitServer(s, 30000), 0);
    std::map<unsigned, std::string> live = HashLines(ReadFile(s.out));
    ASSERT_EQ(live.size(), 6u);

    // The record replays offline to the same hashes.
    ASSERT_EQ(Replay(rec, DataDir(), 50, dir), 0) << ReadFile(dir + "/replay.err");
    EXPECT_EQ(HashLines(ReadFile(dir + "/replay.out")), live);

    // Cut short, corrupted, or made from other data: refused, with the turn.
    std::string whole = ReadFile(rec);
    struct Damage {
        std::string bytes, says;
    } damages[] = {{whole.substr(0, whole.size() / 2), "cut short at turn "},
                   {whole.substr(0, whole.size() - 1), "cut short at turn 300"},
                   {whole, "corrupted at turn "},
                   {whole + "x", "corrupted at turn 300"}};
    damages[2].bytes[whole.size() / 3] ^= 0x40;
    for (const Damage &d : damages) {
        WriteFile(rec, d.bytes);
        EXPECT_EQ(Replay(rec, DataDir(), 50, dir), 1);
        std::string err = ReadFile(dir + "/replay.err");
        EXPECT_NE(err.find(d.says), std::string::npos) << err;
        // The periodic hashes up to the break are those of the live game.
        for (const auto &line : HashLines(ReadFile(dir + "/replay.out")))
            if (line.first % 50 == 0) {
                EXPECT_EQ(live[line.first], line.second) << line.first;
            }
    }
    WriteFile(rec, whole);
    std::string other = TempDir();
    mkdir((other + "/data").c_str(), 0755);
    WriteFile(other + "/data/maptest.map", ReadFile(DataDir() + "/data/maptest.map"));
    WriteFile(other + "/data/tiledata.cfg", ReadFile(DataDir() + "/data/tiledata.cfg") + "X09 x\n");
    EXPECT_EQ(Replay(rec, other, 50, dir), 1);
    EXPECT_NE(ReadFile(dir + "/replay.err").find("other data"), std::string::npos);
}

// A relay between one client and the server that drops a fifth of the
// datagrams each way and holds back some to send them after the next. Under
// an emulator, whose slow peers let ENet's resend times grow until a run of
// losses ends the link, it drops a tenth.
struct Relay {
    int near = -1, far = -1;  // sockets facing the client and the server
    uint16_t near_port = 0;   // where the client connects
    uint16_t server_port = 0; // the server
    sockaddr_in client = {};  // the client, once it has spoken
    bool known = false;       // client address learned
    uint32_t rng = 12345;     // fixed sequence of draws
    long dropped = 0, passed = 0, reordered = 0;
    int loss = getenv("MD_TEST_EMULATOR") ? 10 : 20; // percent dropped each way
    std::vector<uint8_t> held[2];                    // one datagram held back per direction
    long held_at[2] = {0, 0};
};
Relay relay;

// Next draw 0..99 of the relay's own sequence.
int Draw() {
    relay.rng = relay.rng * 1103515245u + 12345u;
    return (int)((relay.rng >> 16) % 100);
}

// Sends a datagram in direction dir (0 toward the server, 1 toward the client).
void Forward(int dir, const std::vector<uint8_t> &d) {
    if (dir == 0)
        SendTo(relay.far, relay.server_port, d);
    else
        sendto(relay.near, d.data(), d.size(), 0, (sockaddr *)&relay.client, sizeof relay.client);
}

// Moves every waiting datagram on, dropping, holding back or passing it.
void RelayStep() {
    uint8_t buf[4096];
    for (int dir = 0; dir < 2; dir++) {
        int fd = dir == 0 ? relay.near : relay.far;
        for (;;) {
            sockaddr_in from = {};
            socklen_t len = sizeof from;
            ssize_t n = recvfrom(fd, buf, sizeof buf, MSG_DONTWAIT, (sockaddr *)&from, &len);
            if (n < 0)
                break;
            if (dir == 0 && !relay.known) {
                relay.client = from;
                relay.known = true;
            }
            if (dir == 1 && !relay.known)
                continue;
            std::vector<uint8_t> d(buf, buf + n);
            if (Draw() < relay.loss) {
                relay.dropped++;
                continue;
            }
            relay.passed++;
            if (relay.held[dir].empty() && Draw() < 10) {
                relay.held[dir] = d;
                relay.held_at[dir] = NowMs();
                relay.reordered++;
                continue;
            }
            Forward(dir, d);
            if (!relay.held[dir].empty()) {
                Forward(dir, relay.held[dir]);
                relay.held[dir].clear();
            }
        }
        if (!relay.held[dir].empty() && NowMs() - relay.held_at[dir] > 30) {
            Forward(dir, relay.held[dir]);
            relay.held[dir].clear();
        }
    }
}

TEST(Online, LossyLinkDropsAFifthEachWayAndPlayGoesOn) {
    std::string dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--players", "1", "--turn-ms", "20"}));
    relay.near = LoopbackSocket(&relay.near_port);
    uint16_t unused;
    relay.far = LoopbackSocket(&unused);
    relay.server_port = s.port;
    pump_hook = RelayStep;
    TestClient c;
    ASSERT_TRUE(Join(c, relay.near_port, NET_VERSION, 20000));
    PumpFor(c, 300);
    // Each command arrives (retransmitted as often as it takes), is applied
    // once, and the packages that follow show the player walking.
    int x0 = c.pkg[PACKAGE_X];
    uint32_t before = c.packages;
    Walk(c, 3, 15000, [&] { return c.pkg[PACKAGE_X] >= x0 + 3; }); // right
    int x1 = c.pkg[PACKAGE_X];
    EXPECT_GE(x1, x0 + 3);
    Walk(c, 7, 15000, [&] { return c.pkg[PACKAGE_X] <= x1 - 3; }); // left
    EXPECT_LE(c.pkg[PACKAGE_X], x1 - 3);
    // Two seconds more of about 95 turns: packages keep coming.
    before = c.packages;
    PumpFor(c, 2000);
    EXPECT_GT(c.packages, before + 30);
    EXPECT_FALSE(c.gone);
    kill(s.pid, SIGTERM);
    for (long start = NowMs(); !c.gone && NowMs() - start < 15000;)
        PumpFor(c, 5);
    EXPECT_EQ(WaitServer(s, 15000), 0);
    pump_hook = nullptr;
    printf("lossy link: %ld datagrams dropped, %ld passed (%ld of them held back), %u packages\n",
           relay.dropped, relay.passed, relay.reordered, c.packages);
    RecordProperty("dropped", (int)relay.dropped);
    RecordProperty("passed", (int)relay.passed);
    EXPECT_GT(relay.dropped, 0);
    EXPECT_GT(relay.reordered, 0);
}

TEST(Online, IdleServerSleepsBetweenTurns) {
    std::string dir = TempDir();
    Server s;
    long start = NowMs();
    double cpu0 = ChildCpu();
    ASSERT_TRUE(StartServer(s, dir, "server", {"--turn-ms", "500", "--turns", "6"}));
    ASSERT_EQ(WaitServer(s, 30000), 0);
    double wall = (NowMs() - start) / 1000.0, cpu = ChildCpu() - cpu0;
    printf("idle server: %.3f s of CPU in %.2f s (6 turns of 500 ms)\n", cpu, wall);
    RecordProperty("idle_cpu_ms", (int)(cpu * 1000));
    // A server that spun instead of waiting would use the whole wall time.
    if (!getenv("MD_TEST_EMULATOR")) {
        EXPECT_LT(cpu, wall / 4);
    }
}

TEST(Online, FourClientsTenThousandTurnsWithEveryCreature) {
    std::string dir = TempDir(), rec = dir + "/load.rec";
    Server s;
    long start = NowMs();
    double cpu0 = ChildCpu();
    ASSERT_TRUE(StartServer(s, dir, "server",
                            {"--turn-ms", "5", "--turns", "10000", "--all-creatures",
                             "--hash-every", "1000", "--record", rec, "--quiet"}));
    TestClient c[4];
    for (TestClient &t : c)
        ASSERT_TRUE(Join(t, s.port, NET_VERSION, 10000, 0, (int)(&t - c)));
    uint32_t draw = 7;
    for (long t0 = NowMs(), last = 0; NowMs() - t0 < 150000;) {
        bool all_gone = true;
        for (TestClient &t : c) {
            Pump(t);
            all_gone = all_gone && t.gone;
        }
        if (all_gone)
            break;
        if (NowMs() - last >= 40) { // each player changes its move 25 times a second
            last = NowMs();
            for (TestClient &t : c) {
                draw = draw * 1103515245u + 12345u;
                if (!t.gone)
                    Send(t, MoveCommand((uint8_t)((draw >> 16) % 10)));
            }
        }
        struct timespec one = {0, 1000 * 1000};
        nanosleep(&one, nullptr);
    }
    ASSERT_EQ(WaitServer(s, 30000), 0);
    double wall = (NowMs() - start) / 1000.0, cpu = ChildCpu() - cpu0;
    std::string out = ReadFile(s.out);
    EXPECT_EQ(Total(out, "turns"), 10000) << out;
    for (const char *kind : {"size", "type", "order", "hello", "garbage"})
        EXPECT_EQ(Total(out, kind), 0) << kind;
    for (TestClient &t : c) {
        EXPECT_TRUE(t.gone);
        EXPECT_EQ(t.bye, (uint32_t)NET_BYE);
        EXPECT_GE((uint32_t)PackageTurn(t.pkg), 9990u);
    }
    size_t at = out.find("sent ");
    long sent = at == std::string::npos ? 0 : atol(out.c_str() + at + 5);
    printf("load: 10000 turns, 4 players, 1024 creatures: %.1f s of server CPU in %.1f s; "
           "%.0f bytes sent per turn per player\n",
           cpu, wall, sent / 40000.0);
    RecordProperty("server_cpu_ms", (int)(cpu * 1000));
    // The record of the whole load replays to the same world.
    ASSERT_EQ(Replay(rec, DataDir(), 1000, dir), 0) << ReadFile(dir + "/replay.err");
    std::map<unsigned, std::string> live = HashLines(out);
    EXPECT_EQ(live.size(), 10u);
    EXPECT_EQ(HashLines(ReadFile(dir + "/replay.out")), live);
    unlink(rec.c_str());
}

} // namespace
