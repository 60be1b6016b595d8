// Joins of the game's own client code over bad links: through a relay with
// 20 ms delay that drops 10 % or 30 % of the datagrams each way, and to a
// server that comes up a second after the client started. MD_LINK_TRIES
// sets the number of joins per case (scripts/links.sh runs 20).
#include <thread>

#include "net/netclient.h"
#include "net/relay.h"
#include "programs/programs.h"

namespace {

int Tries() {
    const char *n = getenv("MD_LINK_TRIES");
    return n && atoi(n) > 0 ? atoi(n) : 4;
}

class LossyJoins : public ::testing::TestWithParam<int> {};

TEST_P(LossyJoins, JoinWithinTheWindowThroughALossyRelay) {
    if (UnderEmulator()) // its slow peers stretch ENet's resend times past the window
        GTEST_SKIP() << "join times through loss are the host's to measure";
    std::string dir = TempDir();
    setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server", {"--turn-ms", "100", "--quiet"}));
    DelayRelay relay;
    StartRelay(relay, s.port, 20, GetParam());
    std::string address = "127.0.0.1:" + std::to_string(relay.port);
    int tries = Tries(), joined = 0;
    long slowest = 0;
    for (int t = 0; t < tries; t++) {
        long t0 = NowMs();
        bool ok = NetJoin("links", address.c_str());
        long took = NowMs() - t0;
        joined += ok && took <= 5000;
        slowest = took > slowest ? took : slowest;
        NetLeave();
    }
    StopRelay(relay);
    kill(s.pid, SIGTERM);
    EXPECT_EQ(WaitServer(s, 10000), 0);
    printf("joins at %d %% loss each way, 20 ms delay: %d of %d within 5 s (slowest %ld ms)\n",
           GetParam(), joined, tries, slowest);
    // At 30 % the whole handshake can be lost several times over: one in 20 may fail.
    EXPECT_GE(joined, GetParam() >= 30 ? tries - (tries + 19) / 20 : tries);
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
