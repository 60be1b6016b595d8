// The real game on hostile data trees: every data file a link to /dev/zero
// or /dev/urandom, a FIFO, a folder or an endless run of digits. Start-up
// must not hang or grow without bound (the game runs under an address-space
// limit): each text file gets one line naming it and its fallback, and the
// game plays on until it is stopped; a hostile font gets one line and exit
// status 1.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "programs/programs.h"
#include "support/testsupport.h"

namespace {

const char *const kTextFiles[] = {"client/client.cfg", "client/palette.cfg", "data/str.dat",
                                  "data/tiledata.cfg", "data/maptest.map"};
const char kFont[] = "font/font.bmp";
const rlim_t kAddressSpace = 512ull << 20; // far above the game's own needs
const int kLimitMs = 20000;                // for start-up and for the stop

enum Kind { kLinkToZero, kLinkToUrandom, kFifo, kFolder, kEndlessDigits };

// Puts a hostile file of the given kind at path.
void MakeHostile(const char *path, Kind kind) {
    ASSERT_EQ(remove(path), 0) << path;
    switch (kind) {
    case kLinkToZero:
        ASSERT_EQ(symlink("/dev/zero", path), 0);
        break;
    case kLinkToUrandom:
        ASSERT_EQ(symlink("/dev/urandom", path), 0);
        break;
    case kFifo:
        ASSERT_EQ(mkfifo(path, 0644), 0);
        break;
    case kFolder:
        ASSERT_EQ(mkdir(path, 0755), 0);
        break;
    case kEndlessDigits: // three times the most any text file is read
        WriteFile(path, std::string(3u << 20, '7'));
        break;
    }
}

// Starts the game in the working directory with its stderr to err_path,
// under the address-space limit (not in AddressSanitizer builds, whose
// shadow memory alone is far larger).
pid_t StartGame(const std::string &err_path) {
    DefaultStopSignals();
#ifdef MD_ASAN_BUILD
    return StartProgram({BuildProgram("marrowdigger")}, "", err_path);
#else
    struct rlimit old, limit;
    getrlimit(RLIMIT_AS, &old);
    limit = old;
    if (old.rlim_max == RLIM_INFINITY || old.rlim_max > kAddressSpace)
        limit.rlim_cur = kAddressSpace;
    setrlimit(RLIMIT_AS, &limit);
    pid_t pid = StartProgram({BuildProgram("marrowdigger")}, "", err_path);
    setrlimit(RLIMIT_AS, &old);
    return pid;
#endif
}

// Lines of text that name path.
int LinesNaming(const std::string &text, const std::string &path) {
    int n = 0;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        if (text.substr(start, end - start).find(path) != std::string::npos)
            n++;
    return n;
}

// Every text file hostile at once: each named in one line, then the game
// plays on its fallbacks until SIGTERM ends it through its shutdown.
void ExpectTextFilesFallBack(Kind kind) {
    std::string dir = EnterScratchDir();
    CopyShippedData();
    for (const char *path : kTextFiles)
        MakeHostile(path, kind);
    pid_t pid = StartGame(dir + "/err.txt");
    ASSERT_GT(pid, 0);
    bool ready = WaitUntilCatching(pid, SIGTERM, kLimitMs);
    kill(pid, SIGTERM);
    bool timed_out;
    int status = WaitProgram(pid, kLimitMs, &timed_out);
    std::string err = ReadFile(dir + "/err.txt");
    EXPECT_TRUE(ready) << "start-up never reached the display\n" << err;
    ASSERT_FALSE(timed_out) << "the game hung\n" << err;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n"
                                                               << err;
    for (const char *path : kTextFiles)
        EXPECT_EQ(LinesNaming(err, path), 1) << path << "\n" << err;
}

// A hostile font: one line naming it and exit status 1.
void ExpectFontRefused(Kind kind) {
    std::string dir = EnterScratchDir();
    CopyShippedData();
    MakeHostile(kFont, kind);
    pid_t pid = StartGame(dir + "/err.txt");
    ASSERT_GT(pid, 0);
    bool timed_out;
    int status = WaitProgram(pid, kLimitMs, &timed_out);
    std::string err = ReadFile(dir + "/err.txt");
    ASSERT_FALSE(timed_out) << "the game hung\n" << err;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "status " << status << "\n"
                                                               << err;
    EXPECT_EQ(LinesNaming(err, kFont), 1) << err;
}

const char kNoLimit[] = "needs an address-space limit, which an emulator cannot run under";

// Every text file of one kind at once, then the font alone.
void ExpectHandled(Kind kind) {
    ExpectTextFilesFallBack(kind);
    ExpectFontRefused(kind);
}

TEST(HostileData, LinksToDevZero) {
    if (UnderEmulator())
        GTEST_SKIP() << kNoLimit;
    ExpectHandled(kLinkToZero);
}

TEST(HostileData, LinksToDevUrandom) {
    if (UnderEmulator())
        GTEST_SKIP() << kNoLimit;
    ExpectHandled(kLinkToUrandom);
}

TEST(HostileData, Fifos) {
    if (UnderEmulator())
        GTEST_SKIP() << kNoLimit;
    ExpectHandled(kFifo);
}

TEST(HostileData, Folders) {
    if (UnderEmulator())
        GTEST_SKIP() << kNoLimit;
    ExpectHandled(kFolder);
}

TEST(HostileData, EndlessDigitRuns) {
    if (UnderEmulator())
        GTEST_SKIP() << kNoLimit;
    ExpectHandled(kEndlessDigits);
}

} // namespace
