// The game's own client code over links with delay: every one-frame tap of
// the d-pad is applied at exactly one turn (counted in the server's record),
// and the package that shows the move arrives within a turn and a round
// trip of the tap. Over a link that loses 30 % each way, or one cut for 3 s
// in the middle of the taps, every tap is still applied once.
// Figures of scripts/links.sh taps: MD_TAP_COUNT taps held 80 or 150 ms, at
// times of their own within the turn (skipped without it).
#include <algorithm>

#include "client/gameclient.h"
#include "net/netclient.h"
#include "net/relay.h"
#include "platform/platform.h"
#include "programs/programs.h"
#include "wire/followstream.h"
#include "wire/record.h"

namespace {

// Turns of slot 0 in a one-player record whose command carries a move.
int MovesInRecord(const std::string &bytes) {
    uint8_t slots[MAX_CLIENTS * CLIENT_SLOT] = {};
    int moves = 0;
    for (size_t at = 18; at < bytes.size() && (uint8_t)bytes[at] != RECORD_END_MASK;) {
        const uint8_t *p = (const uint8_t *)&bytes[at];
        bool snap = *p == RECORD_SNAP_MARK, is_hash;
        uint64_t hash; // a snapshot gives its size after the mark
        int n = snap ? 19 + GetBE16(p + 1)
                     : FollowStreamDecode(p, bytes.size() - at, 1, slots, &is_hash, &hash);
        if (n <= 0)
            break;
        moves += !snap && slots[1] != 0;
        at += (size_t)n + 4;
    }
    return moves;
}

// One frame of the client as the game runs it, the pad showing dir.
void ClientFrame(uint8_t dir) {
    NetClientFrameStart();
    controlpad[0].dir = dir;
    ProcClient();
    NetClientFrameEnd();
    struct timespec five = {0, 5 * 1000 * 1000};
    nanosleep(&five, nullptr);
}

struct Link {
    int turn_ms, delay_ms;
    int loss = 0;    // percent dropped each way
    int cut_ms = 0;  // a blackout from the sixth tap on
    int held_ms = 0; // how long a tap is held: a frame when 0
};

class Taps : public ::testing::TestWithParam<Link> {};

TEST_P(Taps, EveryTapMovesOnceAndShowsWithinATurnAndARoundTrip) {
    const Link link = GetParam();
    const char *count = getenv("MD_TAP_COUNT");
    if (link.held_ms && !count)
        GTEST_SKIP() << "figures of scripts/links.sh taps";
    std::string dir = TempDir(), rec = dir + "/taps.rec";
    Server s;
    ASSERT_TRUE(StartServer(
        s, dir, "server",
        {"--players", "1", "--turn-ms", std::to_string(link.turn_ms), "--record", rec}));
    DelayRelay relay;
    uint16_t port = s.port;
    bool relayed = link.delay_ms > 0 || link.loss > 0 || link.cut_ms > 0;
    if (relayed) { // else straight to the server
        StartRelay(relay, s.port, link.delay_ms, link.loss);
        port = relay.port;
    }
    net_client.lost = 0; // from an earlier case run in the same process
    net_client.packages = 0;
    ASSERT_TRUE(NetJoin("taps", ("127.0.0.1:" + std::to_string(port)).c_str()));
    NetClientStart();
    for (long start = NowMs(); NowMs() - start < 3000 && net_client.packages == 0;)
        ClientFrame(255);
    const int taps = link.held_ms ? atoi(count) : 24;
    long gap = link.turn_ms + 2 * link.delay_ms + 60;
    uint32_t draw = 1;
    int shown = 0;
    std::vector<long> latency;
    long cut_at = 0;
    for (int t = 0; t < taps; t++) {
        if (t == 5 && link.cut_ms)
            cut_at = NowMs();
        relay.cut = cut_at && NowMs() - cut_at < link.cut_ms;
        uint8_t x = net_client.package[PACKAGE_X];
        long at = NowMs();
        do
            ClientFrame(t % 2 ? 6 : 2); // right, then left, and again
        while (NowMs() - at < link.held_ms);
        draw = draw * 1103515245u + 12345u;
        if (link.held_ms)
            gap = link.held_ms + link.turn_ms + 2 * link.delay_ms + 150 + (draw >> 16) % 500;
        while (NowMs() - at < gap) {
            ClientFrame(255);
            relay.cut = cut_at && NowMs() - cut_at < link.cut_ms;
            if (net_client.package[PACKAGE_X] != x && latency.size() < (size_t)t + 1) {
                latency.push_back(NowMs() - at);
                shown++;
            }
        }
    }
    // The taps held through losses and a blackout go out one a turn: until
    // the client has seen each applied, with room for a slow emulator.
    const long bound = (UnderEmulator() ? 4 : 1) * (30000 + 2L * link.turn_ms * taps);
    for (long start = NowMs();
         NowMs() - start < bound && (net_client.relinking || NetClientUnapplied() > 0);)
        ClientFrame(255);
    kill(s.pid, SIGTERM);
    for (long start = NowMs(); !net_client.lost && !net_client.relinking && NowMs() - start < 5000;)
        ClientFrame(255);
    NetLeave();
    EXPECT_EQ(WaitServer(s, 10000), 0);
    if (relayed)
        StopRelay(relay);
    int applied = MovesInRecord(ReadFile(rec));
    std::sort(latency.begin(), latency.end());
    long median = latency.empty() ? -1 : latency[latency.size() / 2];
    long worst = latency.empty() ? -1 : latency.back();
    printf("taps: %d ms turns, %d ms each way, %d %% lost, %d ms cut, held %d ms: %d of %d "
           "applied, %d shown; tap to package %ld ms in the middle, %ld ms at most\n",
           link.turn_ms, link.delay_ms, link.loss, link.cut_ms, link.held_ms, applied, taps, shown,
           median, worst);
    // How soon a move shows is the figures' (above, scripts/links.sh).
    EXPECT_EQ(applied, taps);
}

INSTANTIATE_TEST_SUITE_P(Delays, Taps,
                         ::testing::Values(Link{500, 0}, Link{500, 40}, Link{500, 150},
                                           Link{100, 0}, Link{100, 40}, Link{100, 150},
                                           Link{500, 20, 30}, Link{500, 20, 0, 3000}),
                         [](const ::testing::TestParamInfo<Link> &i) {
                             return std::to_string(i.param.turn_ms) + "ms_turns_" +
                                    std::to_string(i.param.delay_ms) + "ms_delay_" +
                                    std::to_string(i.param.loss) + "pc_lost_" +
                                    std::to_string(i.param.cut_ms) + "ms_cut";
                         });

INSTANTIATE_TEST_SUITE_P(Held, Taps,
                         ::testing::Values(Link{500, 0, 0, 0, 80}, Link{500, 0, 0, 0, 150},
                                           Link{500, 20, 0, 0, 80}, Link{500, 20, 0, 0, 150},
                                           Link{500, 150, 0, 0, 80}, Link{500, 150, 0, 0, 150}),
                         [](const ::testing::TestParamInfo<Link> &i) {
                             return std::to_string(i.param.delay_ms) + "ms_delay_" +
                                    std::to_string(i.param.held_ms) + "ms_held";
                         });

} // namespace
