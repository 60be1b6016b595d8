// The client's commands against a stand-in server whose turns the test
// makes, so that nothing hangs on timing: a tap still held when its turn
// comes moves once, a key held moves once a turn, the command on its way
// when the server restarts goes to the new game, and taps made while the
// link is down count, the first 16 of them, in order.
#include <mutex>
#include <thread>

#include "client/gameclient.h"
#include "net/netclient.h"
#include "net/online.h"
#include "platform/platform.h"

namespace {

// A one-player server stand-in: the slot keeps the newest command; a turn
// the test asks for applies it (a move when not empty) and sends a package
// with its number. A hello is answered while `answer` is set.
struct Stand {
    ENetHost *host = nullptr;
    ENetPeer *peer = nullptr, *hello = nullptr; // the client; one whose hello waits
    uint16_t port = 0;
    std::mutex lock; // guards all below
    uint8_t slot[CLIENT_SLOT] = {};
    uint32_t seq = 0, applied = 0, turn = 0;
    uint64_t game = 1;
    std::vector<int> moves; // directions applied, in order
    bool answer = true, turn_asked = false, drop_asked = false;
    std::atomic<bool> stop{false};
    std::thread thread;
};

// Sends a message to the client on the reliable channel.
void Tell(Stand &s, ENetPeer *to, const std::vector<uint8_t> &m) {
    enet_peer_send(to, NET_CHANNEL_RELIABLE,
                   enet_packet_create(m.data(), m.size(), ENET_PACKET_FLAG_RELIABLE));
    enet_host_flush(s.host);
}

// Welcomes the client whose hello waits: slot 0 of 1, the numbering where
// the game stands, and an empty slot, as the server does.
void Welcome(Stand &s) {
    std::vector<uint8_t> w(MSG_WELCOME_SIZE, 0);
    w[0] = MSG_WELCOME;
    w[2] = 1;
    PutBE16(&w[4], 95);
    PutBE16(&w[6], 63);
    PutBE64(&w[8], 7);
    PutBE32(&w[16], s.applied);
    PutBE64(&w[20], s.game);
    memset(s.slot, 0, sizeof s.slot);
    s.peer = s.hello;
    s.hello = nullptr;
    Tell(s, s.peer, w);
}

// A turn: the slot's command applied and withdrawn, the package sent.
void Turn(Stand &s) {
    if (s.slot[0] || s.slot[1])
        s.moves.push_back(s.slot[1] - 1);
    memset(s.slot, 0, sizeof s.slot);
    s.applied = s.seq;
    std::vector<uint8_t> m(MSG_PACKAGE_SIZE, 0);
    m[0] = MSG_PACKAGE;
    PutBE32(&m[1], s.applied);
    m[MSG_PACKAGE_HEAD + PACKAGE_TURN] = (uint8_t)++s.turn;
    Tell(s, s.peer, m);
}

void Serve(Stand *s) {
    while (!s->stop) {
        ENetEvent ev;
        int got = enet_host_service(s->host, &ev, 1);
        std::lock_guard<std::mutex> guard(s->lock);
        if (got > 0 && ev.type == ENET_EVENT_TYPE_RECEIVE) {
            const uint8_t *d = ev.packet->data;
            if (ev.packet->dataLength == MSG_HELLO_SIZE && d[0] == MSG_HELLO)
                s->hello = ev.peer;
            if (ev.packet->dataLength == MSG_COMMAND_SIZE && d[0] == MSG_COMMAND) {
                s->seq = GetBE32(d + 1);
                memcpy(s->slot, d + MSG_COMMAND_HEAD, CLIENT_SLOT);
            }
            enet_packet_destroy(ev.packet);
        }
        if (s->hello && s->answer)
            Welcome(*s);
        if (s->turn_asked && s->peer)
            Turn(*s);
        if (s->drop_asked && s->peer) {
            enet_peer_disconnect(s->peer, 0); // no goodbye code: the client gets back in
            s->peer = nullptr;
        }
        s->turn_asked = s->drop_asked = false;
    }
}

// One frame of the client as the game runs it, the pad showing dir.
void Frame(uint8_t dir) {
    NetClientFrameStart();
    controlpad[0].dir = dir;
    ProcClient();
    NetClientFrameEnd();
    struct timespec one = {0, 1000 * 1000};
    nanosleep(&one, nullptr);
}

// Frames with the pad at dir until done() holds, at most 5 s.
template <class Done> bool FramesUntil(uint8_t dir, Done done) {
    for (long start = NowMs(); NowMs() - start < 5000;) {
        if (done())
            return true;
        Frame(dir);
    }
    return false;
}

// Whether the stand's slot holds the command of direction dir (255: empty).
bool Holds(Stand &s, uint8_t dir) {
    std::lock_guard<std::mutex> guard(s.lock);
    return dir == 255 ? !s.slot[0] && !s.slot[1] : s.slot[0] == 1 && s.slot[1] == dir + 1;
}

// Plays steps on the client against the stand, one character each:
//   0-7  the pad pressed in that direction, until the stand holds it;
//   r    the pad let go, until the stand's slot is empty (at most 5 s);
//   u    the pad let go for one frame;
//   T    a turn, and frames until the client saw it and sent what follows.
void Play(Stand &s, const char *steps) {
    uint8_t pad = 255;
    for (const char *c = steps; *c; c++) {
        if (*c >= '0' && *c <= '7') {
            pad = (uint8_t)(*c - '0');
            EXPECT_TRUE(FramesUntil(pad, [&] { return Holds(s, pad); })) << c - steps;
        } else if (*c == 'r' || *c == 'u') {
            pad = 255;
            Frame(pad);
            if (*c == 'r')
                FramesUntil(pad, [&] { return Holds(s, 255); });
        } else if (*c == 'T') {
            uint32_t seen = net_client.packages;
            s.lock.lock();
            s.turn_asked = true;
            s.lock.unlock();
            EXPECT_TRUE(FramesUntil(pad, [&] { return net_client.packages != seen; }));
            FramesUntil(pad, [&] { return NetClientUnapplied() == 0 || !Holds(s, 255); });
        }
    }
}

void Ask(Stand &s, bool Stand::*flag) {
    std::lock_guard<std::mutex> guard(s.lock);
    s.*flag = true;
}

class Repeat : public ::testing::Test {
  protected:
    Stand s;
    void SetUp() override {
        setenv("XDG_STATE_HOME", (TempDir() + "/state").c_str(), 1);
        EnetUp();
        ENetAddress a;
        enet_address_set_host_ip(&a, "127.0.0.1");
        a.port = 0;
        s.host = enet_host_create(&a, 4, NET_CHANNELS, 0, 0);
        ASSERT_NE(s.host, nullptr);
        ENetAddress got;
        enet_socket_get_address(s.host->socket, &got);
        s.thread = std::thread(Serve, &s);
        ASSERT_TRUE(NetJoin("repeat", ("127.0.0.1:" + std::to_string(got.port)).c_str()));
        NetClientStart();
    }
    void TearDown() override {
        NetLeave();
        s.stop = true;
        if (s.thread.joinable())
            s.thread.join();
        enet_host_destroy(s.host);
    }
    std::vector<int> Moves() {
        std::lock_guard<std::mutex> guard(s.lock);
        return s.moves;
    }
};

struct Script {
    const char *steps;
    std::vector<int> moves;
};

class RepeatScripts : public Repeat, public ::testing::WithParamInterface<Script> {};

TEST_P(RepeatScripts, EveryTapMovesOnceAndAHeldKeyOnceATurn) {
    Play(s, GetParam().steps);
    EXPECT_EQ(Moves(), GetParam().moves) << GetParam().steps;
    EXPECT_EQ(NetClientUnapplied(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Pad, RepeatScripts,
    ::testing::Values(Script{"2uTTT", {2}},         // let go before its turn
                      Script{"2TrTT", {2}},         // still held when the turn came
                      Script{"2TTTrTT", {2, 2, 2}}, // held through three turns
                      Script{"2Tr2TrT", {2, 2}},    // tapped again once let go
                      Script{"2Tr6TrT", {2, 6}},    // another direction next
                      Script{"2T6TrT", {2, 6}}),    // another direction while held
    [](const ::testing::TestParamInfo<Script> &i) { return std::string("s") + i.param.steps; });

TEST_F(Repeat, TheCommandOnItsWayWhenTheServerRestartsGoesToTheNewGame) {
    Play(s, "2u");
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.game = 2; // the new game numbers from 0
        s.seq = s.applied = 0;
        s.drop_asked = true;
    }
    testing::internal::CaptureStderr();
    EXPECT_TRUE(FramesUntil(255, [&] { return net_client.relinking; }));
    EXPECT_TRUE(FramesUntil(255, [&] { return !net_client.relinking && Holds(s, 2); }));
    testing::internal::GetCapturedStderr();
    Play(s, "TT");
    EXPECT_EQ(Moves(), std::vector<int>{2});
}

TEST_F(Repeat, TapsWhileTheLinkIsDownCountTheFirstSixteenInOrder) {
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.answer = false;
        s.drop_asked = true;
    }
    EXPECT_TRUE(FramesUntil(255, [&] { return net_client.relinking; }));
    std::vector<int> want;
    for (int t = 0; t < 20; t++) { // two directions by turns: each a tap of its own
        uint8_t dir = t % 2 ? 6 : 2;
        Frame(dir);
        Frame(255);
        if (t < 16)
            want.push_back(dir);
    }
    EXPECT_EQ(NetClientUnapplied(), 16);
    Ask(s, &Stand::answer);
    EXPECT_TRUE(FramesUntil(255, [&] { return !net_client.relinking && !Holds(s, 255); }));
    for (int t = 0; t < 20; t++)
        Play(s, "T");
    EXPECT_EQ(Moves(), want);
    EXPECT_EQ(NetClientUnapplied(), 0);
}

} // namespace
