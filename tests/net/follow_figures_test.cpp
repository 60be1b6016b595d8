// Figures of following, printed rather than asserted: the cost of sixteen
// followers to the server under the four-client load, the bytes a
// follower costs per turn, and the catch-up of a follower that joins at
// turn 50,000. Disabled in the normal runs (several minutes); run with
//   build/test_watch --gtest_also_run_disabled_tests --gtest_filter='FollowFigures.*'
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "net/followers.h"

namespace {

double ChildCpu() {
    rusage u;
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Four players changing their moves 25 times a second until the server
// ends, while the followers read their stream.
void Play(TestClient (&c)[4], std::vector<Watcher> &watchers, long limit_ms,
          void (*each)(uint32_t turn) = nullptr) {
    uint32_t draw = 7;
    for (long t0 = NowMs(), last = 0; NowMs() - t0 < limit_ms;) {
        bool all_gone = true;
        for (TestClient &t : c) {
            Pump(t);
            all_gone = all_gone && t.gone;
        }
        for (Watcher &w : watchers)
            PumpWatcher(w);
        if (all_gone)
            break;
        if (each)
            each((uint32_t)PackageTurn(c[0].pkg));
        if (NowMs() - last >= 40) {
            last = NowMs();
            for (TestClient &t : c) {
                draw = draw * 1103515245u + 12345u;
                if (!t.gone)
                    Send(t, MoveCommand((uint8_t)((draw >> 16) % 10)));
            }
        }
        SleepFor(1);
    }
}

// The load test's game with n followers: server CPU seconds, bytes sent
// and stream bytes.
void Load(int n, double *cpu, long *sent, long *stream) {
    std::string dir = TempDir();
    Server s;
    double cpu0 = ChildCpu();
    ASSERT_TRUE(
        StartServer(s, dir, "server",
                    {"--turn-ms", "5", "--turns", "10000", "--all-creatures", "--hash-every",
                     "1000", "--quiet", "--spectators", std::to_string(n)}));
    TestClient c[4];
    for (int k = 0; k < 4; k++)
        ASSERT_TRUE(Join(c[k], s.port, NET_VERSION, 10000, 0, k));
    // Four followers from each of four more loopback addresses.
    std::vector<Watcher> watchers(n);
    const char *from[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
    for (int k = 0; k < n; k++)
        ASSERT_TRUE(Follow(watchers[k], s.port, from[k / 4 % 4]));
    Play(c, watchers, 150000);
    ASSERT_EQ(WaitServer(s, 30000), 0);
    *cpu = ChildCpu() - cpu0;
    std::string out = ReadFile(s.out);
    size_t at = out.find("sent ");
    *sent = at == std::string::npos ? 0 : atol(out.c_str() + at + 5);
    at = out.find("; stream ");
    *stream = at == std::string::npos ? 0 : atol(out.c_str() + at + 9);
}

TEST(FollowFigures, DISABLED_SixteenFollowersUnderTheFourClientLoad) {
    double cpu0, cpu16;
    long sent0, sent16, stream0, stream16;
    Load(0, &cpu0, &sent0, &stream0);
    Load(16, &cpu16, &sent16, &stream16);
    printf("load without spectators: %.2f s of server CPU, %ld bytes sent\n", cpu0, sent0);
    printf("load with 16 spectators: %.2f s of server CPU (%+.1f %%), %ld bytes sent\n", cpu16,
           100.0 * (cpu16 - cpu0) / cpu0, sent16);
    printf("per spectator and turn: %.1f bytes sent in all, %.1f bytes of stream\n",
           (sent16 - sent0) / 16.0 / 10000.0, stream16 / 16.0 / 10000.0);
}

pid_t late = -1;
std::string late_dir;
uint16_t late_port;

TEST(FollowFigures, DISABLED_CatchUpAtTurn50000) {
    late_dir = TempDir();
    Server s;
    ASSERT_TRUE(StartServer(s, late_dir, "server",
                            {"--turn-ms", "1", "--turns", "51000", "--hash-every", "100", "--quiet",
                             "--spectators", "1"}));
    late_port = s.port;
    TestClient c[4];
    for (int k = 0; k < 4; k++)
        ASSERT_TRUE(Join(c[k], s.port, NET_VERSION, 10000, 0, k));
    std::vector<Watcher> none;
    Play(c, none, 600000, [](uint32_t turn) {
        if (late < 0 && turn >= 50000)
            late = StartFollower(late_port, late_dir, "follower");
    });
    ASSERT_EQ(WaitServer(s, 30000), 0);
    ASSERT_GT(late, 0);
    EXPECT_EQ(ExitStatus(late, 60000), 0);
    std::string err = ReadFile(late_dir + "/follower.err");
    printf("spectator joining at turn 50000: %s", err.c_str());
    EXPECT_EQ(HashLines(ReadFile(late_dir + "/follower.out")), HashLines(ReadFile(s.out)));
}

} // namespace
