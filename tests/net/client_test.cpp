// The client against a stand-in server that answers the hello with whatever
// a test gives it: refusals of every kind and welcomes out of range end the
// join with one line and a proper goodbye, packages of the wrong length are
// dropped, a flood is taken a batch a frame, and a command goes out only
// when it changes, and not before the one on its way was applied.
// With turns the test makes (Turns): each tap moves once, a held key once a turn.
#include <atomic>
#include <mutex>
#include <regex>
#include <thread>
#include <utility>

#include "client/gameclient.h"
#include "net/netclient.h"
#include "net/online.h"
#include "platform/platform.h"

namespace {

// A stand-in server on a free loopback port, served by its own thread.
struct Stand {
    ENetHost *host = nullptr;
    uint16_t port = 0;
    std::vector<std::vector<uint8_t>> answer; // sent in order once the hello came
    std::atomic<int> commands{0};             // command messages received
    std::atomic<long> answered{-1}, left{-1}; // when the answer went, when the client left
    bool flood = false;                       // answer the first command with 1000 junk messages
    std::atomic<bool> stop{false};
    std::thread thread;
    // Turns: a turn asked for applies the slot's newest command, sends its package.
    std::mutex lock;                            // guards all below and the answer
    ENetPeer *peer = nullptr, *hello = nullptr; // the player; one whose hello waits
    uint8_t slot[CLIENT_SLOT] = {};
    uint32_t seq = 0, turn = 0;
    std::string moves; // directions applied, in order
    bool mute = false, turn_asked = false, drop_asked = false;
};

// Sends 1000 messages of an unknown type, unsequenced, at once.
void Flood(ENetHost *host, ENetPeer *peer) {
    const uint8_t junk[3] = {99, 1, 2};
    for (int k = 0; k < 1000; k++)
        enet_peer_send(peer, NET_CHANNEL_PACKAGE,
                       enet_packet_create(junk, sizeof junk, ENET_PACKET_FLAG_UNSEQUENCED));
    enet_host_flush(host);
}

void Tell(Stand *s, ENetPeer *to, const std::vector<uint8_t> &m) {
    enet_peer_send(to, NET_CHANNEL_RELIABLE,
                   enet_packet_create(m.data(), m.size(), ENET_PACKET_FLAG_RELIABLE));
    enet_host_flush(s->host);
}

std::vector<uint8_t> Package(size_t n, uint8_t t);

// Between events: answers a hello that waits unless mute (the slot emptied
// as the server does), makes a turn asked for, ends the link when asked,
// without a goodbye code (the client gets back in).
void Turn(Stand *s) {
    if (s->hello && !s->mute) {
        for (const std::vector<uint8_t> &m : s->answer)
            Tell(s, s->hello, m);
        memset(s->slot, 0, CLIENT_SLOT);
        s->peer = std::exchange(s->hello, nullptr);
        s->answered = NowMs();
    }
    if (s->turn_asked && s->peer) {
        if (s->slot[0] || s->slot[1])
            s->moves += (char)('0' + s->slot[1] - 1);
        memset(s->slot, 0, CLIENT_SLOT);
        std::vector<uint8_t> m = Package(MSG_PACKAGE_SIZE, (uint8_t)++s->turn);
        PutBE32(&m[1], s->seq); // applied up to the newest command
        Tell(s, s->peer, m);
    }
    if (s->drop_asked && s->peer)
        enet_peer_disconnect(std::exchange(s->peer, nullptr), 0);
    s->turn_asked = s->drop_asked = false;
}

// The stand-in's thread: answers the hello, counts commands, notes the leave.
void Serve(Stand *s) {
    ENetEvent ev;
    for (std::unique_lock<std::mutex> guard(s->lock); !s->stop; Turn(s)) {
        guard.unlock();
        int got = enet_host_service(s->host, &ev, 1);
        guard.lock();
        if (got <= 0)
            continue;
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT)
            s->left = NowMs();
        if (ev.type != ENET_EVENT_TYPE_RECEIVE)
            continue;
        uint8_t type = ev.packet->dataLength > 0 ? ev.packet->data[0] : 0;
        if (type == MSG_COMMAND && ev.packet->dataLength == MSG_COMMAND_SIZE) {
            s->seq = GetBE32(ev.packet->data + 1);
            memcpy(s->slot, ev.packet->data + MSG_COMMAND_HEAD, CLIENT_SLOT);
        }
        enet_packet_destroy(ev.packet);
        s->commands += type == MSG_COMMAND;
        if (type == MSG_COMMAND && s->commands == 1 && s->flood)
            Flood(s->host, ev.peer);
        s->hello = type == MSG_HELLO ? ev.peer : s->hello;
    }
}

// Opens the stand-in with its answer on the given port (0: a free one) and
// starts its thread.
void Open(Stand &s, const std::vector<std::vector<uint8_t>> &answer, uint16_t port = 0) {
    EnetUp();
    ENetAddress a;
    enet_address_set_host_ip(&a, "127.0.0.1");
    a.port = port;
    s.host = enet_host_create(&a, 4, NET_CHANNELS, 0, 0);
    ASSERT_NE(s.host, nullptr);
    ENetAddress got;
    enet_socket_get_address(s.host->socket, &got);
    s.port = got.port;
    s.answer = answer;
    s.thread = std::thread(Serve, &s);
}

// Stops the stand-in's thread and closes its host.
void Close(Stand &s) {
    s.stop = true;
    s.thread.join();
    enet_host_destroy(s.host);
}

// A welcome of the given slot and players, the level 95 x 63.
std::vector<uint8_t> Welcome(uint8_t slot, uint8_t players, uint64_t game = 0) {
    std::vector<uint8_t> m(MSG_WELCOME_SIZE, 0);
    m[0] = MSG_WELCOME;
    m[1] = slot;
    m[2] = players;
    PutBE16(&m[4], 95);
    PutBE16(&m[6], 63);
    PutBE64(&m[20], game);
    return m;
}

// A package message of n bytes whose package gives turn t.
std::vector<uint8_t> Package(size_t n, uint8_t t) {
    std::vector<uint8_t> m(n, 0);
    m[0] = MSG_PACKAGE;
    m[MSG_PACKAGE_HEAD] = t;
    return m;
}

// Sleeps for ms milliseconds (under 1000).
void Sleep(int ms) {
    struct timespec t = {0, ms * 1000L * 1000L};
    nanosleep(&t, nullptr);
}

// Joins the stand-in; gives NetJoin's result and its line on stderr.
bool JoinStand(const Stand &s, std::string *err) {
    testing::internal::CaptureStderr();
    bool ok = NetJoin("client", ("127.0.0.1:" + std::to_string(s.port)).c_str());
    *err = testing::internal::GetCapturedStderr();
    return ok;
}

TEST(Client, RefusalsAndBadWelcomesEndTheJoinWithOneLineAndAGoodbye) {
    std::vector<uint8_t> refuse = {MSG_REFUSE, 9, 0, NET_VERSION};
    struct Case {
        std::vector<uint8_t> answer;
        std::string says;
    } cases[] = {
        {refuse, "refused the join for an unknown reason (9)\n"},
        {{MSG_REFUSE, REFUSE_FULL, 0, NET_VERSION}, "is full\n"},
        {{MSG_REFUSE, REFUSE_VERSION, 0, 7}, "speaks protocol version 7, this game"},
        {Welcome(2, 2), "did not answer the join\n"},
        {Welcome(0, MAX_CLIENTS + 1), "did not answer the join\n"},
    };
    for (const Case &c : cases) {
        Stand s;
        Open(s, {c.answer});
        std::string err;
        EXPECT_FALSE(JoinStand(s, &err));
        EXPECT_EQ(err.compare(0, 8, "client: "), 0) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        // One line, besides the join's progress while no welcome it takes came.
        std::string said = std::regex_replace(err, std::regex(".*no answer yet.*\n"), "");
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << err;
        EXPECT_EQ(net_client.remote, 0);
        // The client said goodbye, so its connection ended at once.
        for (long start = NowMs(); s.left < 0 && NowMs() - start < 2000;)
            Sleep(1);
        EXPECT_GE(s.left, 0) << c.says;
        if (c.answer[0] == MSG_REFUSE) {
            EXPECT_LT(s.left - s.answered, 500) << c.says;
        }
        Close(s);
    }
}

TEST(Client, WrongPackagesAreDroppedFloodsTakenInBatchesCommandsSentOnChange) {
    Stand s;
    s.flood = true;
    Open(s, {Welcome(1, 2), Package(MSG_PACKAGE_SIZE - 1, 77), Package(MSG_PACKAGE_SIZE + 1, 78),
             Package(MSG_PACKAGE_SIZE, 5)});
    std::string err;
    ASSERT_TRUE(JoinStand(s, &err)) << err;
    EXPECT_EQ(net_client.slot, 1);
    EXPECT_EQ(net_client.level_x, 95);
    EXPECT_EQ(net_client.level_y, 63);
    for (long start = NowMs(); net_client.packages == 0 && NowMs() - start < 5000;)
        NetClientFrameStart();
    EXPECT_EQ(net_client.packages, 1u);
    EXPECT_EQ(net_server_msg[0], 5);
    EXPECT_EQ(net_dropped[DROP_SIZE], 2u);
    // The first command brings a flood, taken NET_EVENTS_MAX a frame.
    net_client_msg[0] = 1;
    net_client_msg[1] = 3;
    NetClientFrameEnd();
    Sleep(200);
    EXPECT_LE(LargestBatch(NetClientFrameStart, 1000), (uint32_t)NET_EVENTS_MAX);
    // The same command bytes frame after frame go out once; another command
    // waits until the first is applied, which this server never does.
    for (int f = 0; f < 50; f++) {
        NetClientFrameStart();
        net_client_msg[0] = 1;
        net_client_msg[1] = 3;
        NetClientFrameEnd();
    }
    for (int f = 0; f < 50; f++) {
        NetClientFrameStart();
        net_client_msg[0] = 1;
        net_client_msg[1] = 4;
        NetClientFrameEnd();
    }
    for (long start = NowMs(); NowMs() - start < 300;)
        NetClientFrameStart();
    EXPECT_EQ(s.commands, 1);
    NetLeave();
    Close(s);
}

// Runs the headless runner as a client of address; its exit status and
// what it printed on stderr.
int Headless(const std::string &address, std::string *err) {
    std::string dir = TempDir();
    int status = ExitStatus(StartProgram({BuildProgram("marrowdigger-headless"), "--data",
                                          DataDir(), "--frames", "5", "--connect", address},
                                         dir + "/out", dir + "/err"),
                            20000);
    *err = ReadFile(dir + "/err");
    return status;
}

TEST(Client, EmptyAndOverlongAddressesAreRefusedWithOneLine) {
    std::string err;
    EXPECT_EQ(Headless("", &err), 1);
    EXPECT_EQ(err, "marrowdigger-headless: '' is no server address (HOST or HOST:PORT)\n");
    EXPECT_EQ(Headless(std::string(5000, 'h'), &err), 1);
    EXPECT_EQ(err, "marrowdigger-headless: '" + std::string(80, 'h') +
                       "...' is no server address (HOST or HOST:PORT)\n");
    // A name that fits the buffer exactly is taken; one byte more is not.
    char host[8];
    uint16_t port = NET_DEFAULT_PORT;
    EXPECT_TRUE(NetParseAddress("1234567:9", host, sizeof host, &port));
    EXPECT_STREQ(host, "1234567");
    EXPECT_FALSE(NetParseAddress("12345678:9", host, sizeof host, &port));
    EXPECT_FALSE(NetParseAddress("12345678", host, sizeof host, &port));
    // IPv6 addresses are named as such, not looked up as host names.
    for (const char *v6 : {"[::1]:7742", "::1", "fe80::1"}) {
        EXPECT_EQ(Headless(v6, &err), 1) << v6;
        EXPECT_EQ(err, "marrowdigger-headless: IPv6 is not supported; use an IPv4 address or a "
                       "host name\n");
    }
}

// A token that cannot be kept is said in one line, and the game still joins.
TEST(Client, ATokenThatCannotBeKeptIsSaidAndPlayGoesOn) {
    std::string file = TempDir() + "/not-a-folder";
    WriteFile(file, "x");
    struct Case {
        const char *state, *home, *says;
    } cases[] = {
        {nullptr, nullptr, "no folder for the player's token"},
        {file.c_str(), nullptr, "cannot keep the player's token in "},
    };
    for (const Case &c : cases) {
        c.state ? setenv("XDG_STATE_HOME", c.state, 1) : unsetenv("XDG_STATE_HOME");
        c.home ? setenv("HOME", c.home, 1) : unsetenv("HOME");
        Stand s;
        Open(s, {Welcome(0, 1)});
        std::string err;
        EXPECT_TRUE(JoinStand(s, &err)) << err;
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_NE(err.find("; playing without one\n"), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        NetLeave();
        Close(s);
    }
}

// A game that finds the server full says so once and asks again between
// waits until a slot frees, or until the player leaves.
TEST(Client, AFullServerIsWaitedForUntilASlotFreesOrThePlayerLeaves) {
    std::string dir = TempDir();
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--players", "1", "--turn-ms", "100"}));
    static TestClient holder; // leaves at the third wait when frees is set
    static int waits, frees;
    std::string address = "127.0.0.1:" + std::to_string(s.port);
    for (bool leaves : {true, false}) {
        SCOPED_TRACE(leaves ? "the slot frees" : "the player leaves");
        Vanish(holder);
        ASSERT_TRUE(Join(holder, s.port));
        waits = 0;
        frees = leaves;
        net_full_wait = [](uint32_t ms) {
            if (++waits == 3 && frees)
                enet_peer_disconnect(holder.peer, NET_LEAVE);
            PumpFor(holder, (int)ms);
            return frees || waits < 3;
        };
        testing::internal::CaptureStderr();
        bool in = NetJoin("full", address.c_str());
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(in, leaves);
        EXPECT_EQ(err, "full: the server at " + address + " is full; waiting for a free slot\n");
        EXPECT_GE(waits, 3);
        NetLeave();
    }
    net_full_wait = nullptr;
    Vanish(holder);
}

// A join goes on sending until its server answers: a server that comes up a
// second after the client started is joined.
TEST(Client, JoinsAServerThatComesUpLate) {
    EnetUp();
    ENetAddress a;
    enet_address_set_host_ip(&a, "127.0.0.1");
    a.port = 0;
    ENetHost *probe = enet_host_create(&a, 1, NET_CHANNELS, 0, 0);
    ASSERT_NE(probe, nullptr);
    enet_socket_get_address(probe->socket, &a);
    enet_host_destroy(probe);
    Stand s;
    std::thread late([&] {
        Sleep(999);
        Open(s, {Welcome(0, 1)}, a.port);
    });
    testing::internal::CaptureStderr();
    bool joined = NetJoin("client", ("127.0.0.1:" + std::to_string(a.port)).c_str());
    std::string err = testing::internal::GetCapturedStderr();
    late.join();
    EXPECT_TRUE(joined) << err;
    NetLeave();
    Close(s);
}

// Client frames as the game runs them, the pad at dir, until done() holds
// after one (at most 5 s); whether it came to hold.
template <class Done> bool Frames(uint8_t dir, Done done) {
    for (long start = NowMs(); NowMs() - start < 5000; Sleep(1)) {
        NetClientFrameStart();
        controlpad[0].dir = dir;
        ProcClient();
        NetClientFrameEnd();
        if (done())
            return true;
    }
    return false;
}

class Turns : public ::testing::TestWithParam<const char *> {
  protected:
    Stand s;
    void SetUp() override {
        setenv("XDG_STATE_HOME", (TempDir() + "/state").c_str(), 1);
        Open(s, {Welcome(0, 1, 1)});
        std::string err;
        ASSERT_TRUE(JoinStand(s, &err)) << err;
    }
    void TearDown() override {
        NetLeave();
        Close(s);
    }
    template <class F> auto Locked(F f) { // what f gives, run while the stand-in is held
        std::lock_guard<std::mutex> guard(s.lock);
        return f();
    }
    bool Holds(uint8_t dir) { // the slot holds the command of dir (255: none)
        std::lock_guard<std::mutex> guard(s.lock);
        return dir == 255 ? !s.slot[0] && !s.slot[1] : s.slot[0] == 1 && s.slot[1] == dir + 1;
    }
    // Steps up to a ':', a character each: 0-7 the pad pressed that way until
    // the slot holds it (a frame while the link is down); r the pad let go
    // until the slot is empty; u let go for a frame; T a turn, and frames
    // until the client saw it and sent what follows.
    void Play(const char *steps) {
        uint8_t pad = 255;
        for (const char *c = steps; *c && *c != ':'; c++) {
            pad = *c >= '0' && *c <= '7' ? (uint8_t)(*c - '0') : *c == 'T' ? pad : 255;
            uint32_t seen = net_client.packages;
            bool turn = *c == 'T', up = *c == 'u';
            if (turn)
                Locked([&] { s.turn_asked = true; });
            auto done = [&] {
                return turn ? net_client.packages != seen
                            : up || net_client.relinking || Holds(pad);
            };
            EXPECT_TRUE(Frames(pad, done)) << steps << " at " << c - steps;
            if (turn)
                Frames(pad, [&] { return NetClientUnapplied() == 0 || !Holds(255); });
        }
    }
};

// The steps, then after a ':' the moves the server applied.
TEST_P(Turns, EveryTapMovesOnceAndAHeldKeyOnceATurn) {
    Play(GetParam());
    EXPECT_EQ(Locked([&] { return s.moves; }), strchr(GetParam(), ':') + 1) << GetParam();
    EXPECT_EQ(NetClientUnapplied(), 0);
}

INSTANTIATE_TEST_SUITE_P(Pad, Turns,
                         ::testing::Values("2uTTT:2",     // let go before its turn
                                           "2TrTT:2",     // held when its turn came
                                           "2TTTrTT:222", // held three turns
                                           "2Tr2TrT:22",  // tapped again
                                           "2Tr6TrT:26",  // then another way
                                           "2T6TrT:26")); // another way while held

TEST_F(Turns, TheCommandOnItsWayWhenTheServerRestartsGoesToTheNewGame) {
    Play("2u");
    Locked([&] { // a new game
        s.answer = {Welcome(0, 1, 2)};
        s.drop_asked = true;
    });
    testing::internal::CaptureStderr();
    EXPECT_TRUE(Frames(255, [&] { return net_client.relinking; }));
    EXPECT_TRUE(Frames(255, [&] { return !net_client.relinking && Holds(2); }));
    testing::internal::GetCapturedStderr();
    Play("TT");
    EXPECT_EQ(Locked([&] { return s.moves; }), "2");
}

TEST_F(Turns, OfTheTapsWhileTheLinkIsDownTheFirstSixteenCountInOrder) {
    Locked([&] { s.mute = s.drop_asked = true; });
    EXPECT_TRUE(Frames(255, [&] { return net_client.relinking; }));
    std::string taps; // 20 taps, two directions by turns: each a tap of its own
    for (int t = 0; t < 10; t++)
        taps += "2u6u";
    Play(taps.c_str());
    EXPECT_EQ(NetClientUnapplied(), 16);
    Locked([&] { s.mute = false; });
    EXPECT_TRUE(Frames(255, [&] { return !net_client.relinking && !Holds(255); }));
    Play(std::string(20, 'T').c_str());
    EXPECT_EQ(Locked([&] { return s.moves; }), "2626262626262626");
    EXPECT_EQ(NetClientUnapplied(), 0);
}

} // namespace
