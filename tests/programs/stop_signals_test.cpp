// SIGINT, SIGTERM and SIGHUP stop the game in play through its normal shutdown, and
// the headless runner at a frame boundary with status 128 + the signal and the
// trace of the frames presented so far; each within a second.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "programs/programs.h"
#include "support/testsupport.h"

namespace {

const int kStartMs = 20000; // for start-up to come so far

// How long a stop may take: a second, or five when an emulator runs the
// programs at a fraction of their speed.
int StopLimitMs() {
    return UnderEmulator() ? 5000 : 1000;
}

// Size of a file, 0 when it is not there.
long FileSize(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (long)st.st_size : 0;
}

TEST(StopSignals, GameInPlayEndsThroughItsShutdown) {
    std::string dir = EnterScratchDir();
    ASSERT_EQ(chdir(DataDir().c_str()), 0);
    DefaultStopSignals();
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        pid_t pid = StartProgram({BuildProgram("marrowdigger")}, "", dir + "/err.txt");
        ASSERT_GT(pid, 0);
        ASSERT_TRUE(WaitUntilCatching(pid, sig, kStartMs)) << "signal " << sig;
        kill(pid, sig);
        bool timed_out;
        int status = WaitProgram(pid, StopLimitMs(), &timed_out);
        EXPECT_FALSE(timed_out) << "signal " << sig;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "signal " << sig << ", status " << status << "\n"
            << ReadFile(dir + "/err.txt");
    }
}

TEST(StopSignals, HeadlessRunnerKeepsItsTraceSoFar) {
    std::string dir = EnterScratchDir();
    DefaultStopSignals();
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        std::string trace = dir + "/trace" + std::to_string(sig) + ".jsonl";
        pid_t pid = StartProgram({BuildProgram("marrowdigger-headless"), "--data", DataDir(),
                                  "--frames", "100000", "--trace", trace},
                                 "", dir + "/err.txt");
        ASSERT_GT(pid, 0);
        // Mid-run: the first trace lines are out.
        for (int waited = 0; FileSize(trace) == 0 && waited < kStartMs; waited += 10)
            SleepMs(10);
        ASSERT_GT(FileSize(trace), 0) << "the run never started";
        kill(pid, sig);
        bool timed_out;
        int status = WaitProgram(pid, StopLimitMs(), &timed_out);
        std::string err = ReadFile(dir + "/err.txt");
        ASSERT_FALSE(timed_out) << "signal " << sig;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + sig)
            << "signal " << sig << ", status " << status << "\n"
            << err;
        EXPECT_NE(err.find(std::string("stopped by SIG") + (sig == SIGINT    ? "INT"
                                                            : sig == SIGTERM ? "TERM"
                                                                             : "HUP")),
                  std::string::npos)
            << err;
        // Whole lines, frames 0, 1, 2, ... and fewer than asked for.
        std::string text = ReadFile(trace);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        std::istringstream lines(text);
        long n = 0;
        for (std::string line; std::getline(lines, line); n++) {
            std::string head = "{\"frame\":" + std::to_string(n) + ",";
            ASSERT_EQ(line.compare(0, head.size(), head), 0) << line;
            ASSERT_EQ(line.back(), '}') << line;
        }
        EXPECT_GT(n, 0);
        EXPECT_LT(n, 100000);
    }
}

} // namespace
