// Off the handheld nothing hands back to the console's menu, even where a
// program sits at the menu's path: the game, the headless runner and this
// test program itself. A fake menu program is put at that path inside a
// private mount namespace (an overlay on /usr seen by this process and its
// children only); it would leave a marker file if anything started it.
#include <errno.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "platform/ramhack.h"
#include "programs/programs.h"
#include "support/testsupport.h"

namespace {

const int kLimitMs = 20000;

// Puts an overlay on /usr, writable in a tmpfs under dir, in a mount
// namespace of this process's own. "" when done, else why not.
std::string PrivateUsr(const std::string &dir) {
    if (unshare(CLONE_NEWNS) != 0)
        return std::string("unshare: ") + strerror(errno);
    if (mount(NULL, "/", NULL, MS_REC | MS_PRIVATE, NULL) != 0)
        return std::string("private mounts: ") + strerror(errno);
    std::string layer = dir + "/layer";
    mkdir(layer.c_str(), 0755);
    if (mount("tmpfs", layer.c_str(), "tmpfs", 0, "size=1m") != 0)
        return std::string("tmpfs: ") + strerror(errno);
    mkdir((layer + "/upper").c_str(), 0755);
    mkdir((layer + "/work").c_str(), 0755);
    std::string options = "lowerdir=/usr,upperdir=" + layer + "/upper,workdir=" + layer + "/work";
    if (mount("overlay", "/usr", "overlay", 0, options.c_str()) != 0)
        return std::string("overlay on /usr: ") + strerror(errno);
    return "";
}

TEST(HandBack, NeverOffTheHandheld) {
    if (UnderEmulator())
        GTEST_SKIP() << "a private mount namespace is not set up under an emulator";
    ASSERT_FALSE(Platform_IsHandheld());
    std::string dir = EnterScratchDir();
    std::string why = PrivateUsr(dir);
    if (!why.empty())
        GTEST_SKIP() << "no private mount namespace here (" << why << ")";

    std::string marker = dir + "/handed-back";
    mkdir(HANDHELD_MENU_DIR, 0755);
    WriteFile(HANDHELD_MENU, "#!/bin/sh\necho \"$0\" >> '" + marker + "'\n");
    ASSERT_EQ(chmod(HANDHELD_MENU, 0755), 0);
    ASSERT_EQ(access(HANDHELD_MENU, X_OK), 0);

    // The game, stopped as a window close would.
    ASSERT_EQ(chdir(DataDir().c_str()), 0);
    DefaultStopSignals();
    pid_t pid = StartProgram({BuildProgram("marrowdigger")}, "", dir + "/game.err");
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(WaitUntilCatching(pid, SIGTERM, kLimitMs));
    kill(pid, SIGTERM);
    bool timed_out;
    int status = WaitProgram(pid, kLimitMs, &timed_out);
    EXPECT_FALSE(timed_out);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFile(marker), "") << "the game handed back";

    // The headless runner, ended by the menu's exit item.
    pid = StartProgram({BuildProgram("marrowdigger-headless"), "--data", DataDir(),
                        "--script", DataDir() + "/../tests/replays/exit.script"},
                       "", dir + "/runner.err");
    ASSERT_GT(pid, 0);
    status = WaitProgram(pid, kLimitMs, &timed_out);
    EXPECT_FALSE(timed_out);
    std::string err = ReadFile(dir + "/runner.err");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << err;
    EXPECT_NE(err.find("the game ended the loop"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(marker), "") << "the headless runner handed back";

    // This test program's own shutdown returns.
    StartScriptedPlatform();
    Platform_ShutDown();
    EXPECT_EQ(ReadFile(marker), "") << "the test program handed back";

    umount2("/usr", MNT_DETACH);
    umount2((dir + "/layer").c_str(), MNT_DETACH);
}

} // namespace
