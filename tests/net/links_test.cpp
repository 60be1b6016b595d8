// Joins of the game's own client code over bad links: through a relay with
// 20 ms delay that drops the first CONNECTs, hellos, other datagrams or
// answers, and to a server that comes up a second after the client started.
// MD_LINK_TRIES: figures of joins through random loss (scripts/links.sh).
#include <thread>

#include "net/netclient.h"
#include "net/relay.h"
#include "programs/programs.h"

namespace {

// Joins for the figures (0: none).
int Tries() {
    const char *n = getenv("MD_LINK_TRIES");
    return n && atoi(n) > 0 ? atoi(n) : 0;
}

struct FixedDrops {
    const char *name;
    int drop[SEEN_KINDS]; // the first datagrams of each kind the relay drops
};

class DroppedHandshake : public ::testing::TestWithParam<FixedDrops> {};

// Each case drops more of one message than ENet's back-off (0.5, 1, 2, 4 s)
// resends within the join, or the handshake's one side until the server lets
// it go: the join sends again, on a new connection if need be, and gets in.
TEST_P(DroppedHandshake, TheJoinSendsAgainUntilItGetsIn) {
    const FixedDrops &d = GetParam();
    std::string dir = TempDir();
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--turn-ms", "100", "--quiet"}));
    DelayRelay relay;
    memcpy(relay.drop, d.drop, sizeof relay.drop);
    StartRelay(relay, s.port, 20);
    EXPECT_TRUE(NetJoin("links", ("127.0.0.1:" + std::to_string(relay.port)).c_str()));
    NetLeave();
    StopRelay(relay);
    for (int k = 0; k < SEEN_KINDS; k++) // each sent again past those dropped
        EXPECT_GT(relay.seen[k], d.drop[k]) << "datagrams of kind " << k;
    kill(s.pid, SIGTERM);
    EXPECT_EQ(WaitServer(s, 10000), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DroppedHandshake,
    ::testing::Values(FixedDrops{"connects", {6, 0, 0, 0}}, FixedDrops{"hellos", {0, 6, 0, 0}},
                      FixedDrops{"answers", {0, 0, 0, 5}}, FixedDrops{"handshake", {0, 0, 8, 0}},
                      FixedDrops{"all", {4, 4, 0, 3}}),
    [](const ::testing::TestParamInfo<FixedDrops> &i) { return std::string(i.param.name); });

// Joins through random loss, each through a fresh relay with 20 ms delay:
// prints how many got in and the slowest; the count is the script's to judge.
class LossyJoins : public ::testing::TestWithParam<int> {};

TEST_P(LossyJoins, Figures) {
    int tries = Tries(), joined = 0;
    if (!tries)
        GTEST_SKIP() << "figures of scripts/links.sh (MD_LINK_TRIES joins)";
    std::string dir = TempDir();
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--turn-ms", "100", "--quiet"}));
    long slowest = 0;
    for (int t = 0; t < tries; t++) {
        DelayRelay relay;
        const char *seed = getenv("MD_LINK_SEED");
        relay.draw = (uint32_t)(seed ? atol(seed) : 12345) + 7919u * (uint32_t)t;
        StartRelay(relay, s.port, 20, GetParam());
        long t0 = NowMs();
        bool ok = NetJoin("links", ("127.0.0.1:" + std::to_string(relay.port)).c_str());
        long took = NowMs() - t0;
        joined += ok;
        slowest = ok && took > slowest ? took : slowest;
        relay.loss = 0; // the goodbye gets through: the slot is free for the next join
        NetLeave();
        StopRelay(relay);
    }
    kill(s.pid, SIGTERM);
    EXPECT_EQ(WaitServer(s, 10000), 0);
    printf("joins at %d %% loss each way, 20 ms delay: %d of %d in the window (slowest %ld ms)\n",
           GetParam(), joined, tries, slowest);
}

INSTANTIATE_TEST_SUITE_P(Loss, LossyJoins, ::testing::Values(10, 30),
                         [](const ::testing::TestParamInfo<int> &i) {
                             return std::to_string(i.param) + "pc";
                         });

TEST(LateServer, AClientStartedASecondBeforeItsServerJoins) {
    std::string dir = TempDir();
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    uint16_t port = 0;
    close(LoopbackSocket(&port)); // a port free a moment ago
    bool joined = false;
    long took = -1, t0 = NowMs();
    std::thread client([&] {
        joined = NetJoin("links", ("127.0.0.1:" + std::to_string(port)).c_str());
        took = NowMs() - t0;
    });
    struct timespec second = {1, 0};
    nanosleep(&second, nullptr);
    Server s;
    bool started = StartServer(s, dir, "server", {"--port", std::to_string(port)});
    client.join();
    printf("late server: joined %s %ld ms after the client started\n", joined ? "yes" : "no", took);
    EXPECT_TRUE(started);
    EXPECT_TRUE(joined);
    NetLeave();
    kill(s.pid, SIGTERM);
    EXPECT_EQ(WaitServer(s, 10000), 0);
}

} // namespace
