// 100 frames of the walk replay under valgrind's memcheck: no read of
// uninitialised memory, no invalid access, anywhere from start-up on.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>

#include "programs/programs.h"
#include "support/testsupport.h"

namespace {

// Whether an executable valgrind is on the PATH.
bool ValgrindInstalled() {
    const char *path = getenv("PATH");
    std::istringstream dirs(path ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (!dir.empty() && access((dir + "/valgrind").c_str(), X_OK) == 0)
            return true;
    return false;
}

TEST(Memcheck, WalkReplayHundredFrames) {
#ifdef MD_ASAN_BUILD
    GTEST_SKIP() << "valgrind cannot run AddressSanitizer programs";
#endif
    if (UnderEmulator())
        GTEST_SKIP() << "valgrind cannot run under an emulator";
    if (!ValgrindInstalled())
        GTEST_SKIP() << "valgrind is not installed (scripts/deps.sh installs it)";
    std::string dir = EnterScratchDir();
    std::string source = DataDir() + "/..";
    pid_t pid = StartProgram({source + "/scripts/memcheck.sh",
                              BuildProgram("marrowdigger-headless"), "--data", DataDir(),
                              "--script", source + "/tests/replays/walk.script", "--frames", "100"},
                             "", dir + "/err.txt");
    ASSERT_GT(pid, 0);
    bool timed_out;
    int status = WaitProgram(pid, 600000, &timed_out);
    std::string err = ReadFile(dir + "/err.txt");
    ASSERT_FALSE(timed_out) << err;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n"
                                                               << err;
    EXPECT_EQ(err.find("=="), std::string::npos) << err;
    EXPECT_NE(err.find("100 frames"), std::string::npos) << err;
}

} // namespace
