// The client's commands against a stand-in server whose turns the test
// makes, so that no case hangs on timing: a tap still held when its turn
// comes moves once, a key held moves once a turn, the command on its way
// when the server restarts goes to the new game, and of the taps made while
// the link is down the first 16 count, in order.
#include <mutex>
#include <thread>

#include "client/gameclient.h"
#include "net/netclient.h"
#include "net/online.h"
#include "platform/platform.h"

namespace {

// One slot's server: the newest command in the slot; a turn asked for
// applies it (a move when not empty) and sends the package with its number.
// Hellos are answered while `answer` is set.
struct Stand {
    ENetHost *host = nullptr;
    ENetPeer *peer = nullptr, *hello = nullptr; // the player; one whose hello waits
    std::mutex lock;                            // guards all below
    uint8_t slot[CLIENT_SLOT] = {};
    uint32_t seq = 0, applied = 0, turn = 0;
    uint64_t game = 1;
    std::vector<int> moves; // directions applied, in order
    bool answer = true, turn_asked = false, drop_asked = false, stop = false;
};

void Tell(Stand &s, std::vector<uint8_t> m) {
    enet_peer_send(s.peer, NET_CHANNEL_RELIABLE,
                   enet_packet_create(m.data(), m.size(), ENET_PACKET_FLAG_RELIABLE));
    enet_host_flush(s.host);
}

void Serve(Stand *s) {
    for (std::unique_lock<std::mutex> guard(s->lock); !s->stop;) {
        ENetEvent ev;
        guard.unlock();
        int got = enet_host_service(s->host, &ev, 1);
        guard.lock();
        const uint8_t *d =
            got > 0 && ev.type == ENET_EVENT_TYPE_RECEIVE ? ev.packet->data : nullptr;
        if (d && d[0] == MSG_HELLO)
            s->hello = ev.peer;
        if (d && d[0] == MSG_COMMAND && ev.packet->dataLength == MSG_COMMAND_SIZE) {
            s->seq = GetBE32(d + 1);
            memcpy(s->slot, d + MSG_COMMAND_HEAD, CLIENT_SLOT);
        }
        if (d)
            enet_packet_destroy(ev.packet);
        if (s->hello && s->answer) { // as the server: the slot empty, the numbering kept
            std::vector<uint8_t> w(MSG_WELCOME_SIZE, 0);
            w[0] = MSG_WELCOME;
            w[2] = 1;
            PutBE16(&w[4], 95);
            PutBE16(&w[6], 63);
            PutBE64(&w[8], 7);
            PutBE32(&w[16], s->applied);
            PutBE64(&w[20], s->game);
            memset(s->slot, 0, CLIENT_SLOT);
            s->peer = s->hello;
            s->hello = nullptr;
            Tell(*s, w);
        }
        if (s->turn_asked && s->peer) {
            if (s->slot[0] || s->slot[1])
                s->moves.push_back(s->slot[1] - 1);
            memset(s->slot, 0, CLIENT_SLOT);
            s->applied = s->seq;
            std::vector<uint8_t> m(MSG_PACKAGE_SIZE, 0);
            m[0] = MSG_PACKAGE;
            PutBE32(&m[1], s->applied);
            m[MSG_PACKAGE_HEAD + PACKAGE_TURN] = (uint8_t)++s->turn;
            Tell(*s, m);
        }
        if (s->drop_asked && s->peer) // without a goodbye code: the client gets back in
            enet_peer_disconnect(s->peer, 0);
        s->peer = s->drop_asked ? nullptr : s->peer;
        s->turn_asked = s->drop_asked = false;
    }
}

// Client frames as the game runs them, the pad at dir, until done() holds
// after one (at most 5 s); whether it came to hold.
template <class Done> bool Frames(uint8_t dir, Done done) {
    for (long start = NowMs(); NowMs() - start < 5000;) {
        NetClientFrameStart();
        controlpad[0].dir = dir;
        ProcClient();
        NetClientFrameEnd();
        if (done())
            return true;
        struct timespec one = {0, 1000 * 1000};
        nanosleep(&one, nullptr);
    }
    return false;
}

class Repeat : public ::testing::TestWithParam<std::pair<const char *, std::vector<int>>> {
  protected:
    Stand s;
    std::thread server;
    void SetUp() override {
        setenv("XDG_STATE_HOME", (TempDir() + "/state").c_str(), 1);
        EnetUp();
        ENetAddress a;
        enet_address_set_host_ip(&a, "127.0.0.1");
        a.port = 0;
        ASSERT_NE(s.host = enet_host_create(&a, 4, NET_CHANNELS, 0, 0), nullptr);
        enet_socket_get_address(s.host->socket, &a);
        server = std::thread(Serve, &s);
        ASSERT_TRUE(NetJoin("repeat", ("127.0.0.1:" + std::to_string(a.port)).c_str()));
    }
    void TearDown() override {
        NetLeave();
        Set(&Stand::stop);
        if (server.joinable())
            server.join();
        enet_host_destroy(s.host);
    }
    void Set(bool Stand::*flag, bool to = true) {
        std::lock_guard<std::mutex> guard(s.lock);
        s.*flag = to;
    }
    // Whether the slot holds the command of direction dir (255: none).
    bool Holds(uint8_t dir) {
        std::lock_guard<std::mutex> guard(s.lock);
        return dir == 255 ? !s.slot[0] && !s.slot[1] : s.slot[0] == 1 && s.slot[1] == dir + 1;
    }
    // Steps, a character each: 0-7 the pad pressed that way until the slot
    // holds it (a frame while the link is down); r the pad let go until the
    // slot is empty; u let go for a frame; T a turn, and frames until the
    // client saw it and sent what follows.
    void Play(const char *steps) {
        uint8_t pad = 255;
        for (const char *c = steps; *c; c++) {
            pad = *c >= '0' && *c <= '7' ? (uint8_t)(*c - '0') : *c == 'T' ? pad : 255;
            uint32_t seen = net_client.packages;
            if (*c == 'T')
                Set(&Stand::turn_asked);
            EXPECT_TRUE(Frames(pad,
                               [&] {
                                   return *c == 'T'
                                              ? net_client.packages != seen
                                              : *c == 'u' || net_client.relinking || Holds(pad);
                               }))
                << steps << " at " << c - steps;
            if (*c == 'T')
                Frames(pad, [&] { return NetClientUnapplied() == 0 || !Holds(255); });
        }
    }
    std::vector<int> Moves() {
        std::lock_guard<std::mutex> guard(s.lock);
        return s.moves;
    }
};

TEST_P(Repeat, EveryTapMovesOnceAndAHeldKeyOnceATurn) {
    Play(GetParam().first);
    EXPECT_EQ(Moves(), GetParam().second) << GetParam().first;
    EXPECT_EQ(NetClientUnapplied(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Pad, Repeat,
    ::testing::Values(std::make_pair("2uTTT", std::vector<int>{2}), // let go before its turn
                      std::make_pair("2TrTT", std::vector<int>{2}), // held when its turn came
                      std::make_pair("2TTTrTT", std::vector<int>{2, 2, 2}), // held three turns
                      std::make_pair("2Tr2TrT", std::vector<int>{2, 2}),    // tapped again
                      std::make_pair("2Tr6TrT", std::vector<int>{2, 6}),    // then another way
                      std::make_pair("2T6TrT", std::vector<int>{2, 6})), // another way while held
    [](const testing::TestParamInfo<Repeat::ParamType> &i) {
        return std::string("s") + i.param.first;
    });

TEST_F(Repeat, TheCommandOnItsWayWhenTheServerRestartsGoesToTheNewGame) {
    Play("2u");
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.game = 2; // a new game, numbered from 0
        s.seq = s.applied = 0;
        s.drop_asked = true;
    }
    testing::internal::CaptureStderr();
    EXPECT_TRUE(Frames(255, [&] { return net_client.relinking; }));
    EXPECT_TRUE(Frames(255, [&] { return !net_client.relinking && Holds(2); }));
    testing::internal::GetCapturedStderr();
    Play("TT");
    EXPECT_EQ(Moves(), std::vector<int>{2});
}

TEST_F(Repeat, OfTheTapsWhileTheLinkIsDownTheFirstSixteenCountInOrder) {
    Set(&Stand::answer, false);
    Set(&Stand::drop_asked);
    EXPECT_TRUE(Frames(255, [&] { return net_client.relinking; }));
    std::string taps; // two directions by turns: each a tap of its own
    for (int t = 0; t < 20; t++)
        taps += t % 2 ? "6u" : "2u";
    Play(taps.c_str());
    EXPECT_EQ(NetClientUnapplied(), 16);
    Set(&Stand::answer);
    EXPECT_TRUE(Frames(255, [&] { return !net_client.relinking && !Holds(255); }));
    Play("TTTTTTTTTTTTTTTTTTTT");
    std::vector<int> want;
    for (int t = 0; t < 16; t++)
        want.push_back(t % 2 ? 6 : 2);
    EXPECT_EQ(Moves(), want);
    EXPECT_EQ(NetClientUnapplied(), 0);
}

} // namespace
