// Every program's --help and --version (stdout, status 0), its one-line
// refusal of an unknown option and its own lines for other bad command lines
// (stderr, status 2); the game without any display: one line and status 1 at
// once, unless a video driver is asked for.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "programs/programs.h"
#include "support/testsupport.h"

namespace {

struct Outcome {
    int status = -1;
    bool timed_out = false;
    std::string out, err;
};

// Runs a program of the build to its end (at most limit_ms) in dir.
Outcome RunProgram(const std::string &dir, const std::vector<std::string> &args, int limit_ms) {
    Outcome r;
    pid_t pid = StartProgram(args, dir + "/out.txt", dir + "/err.txt");
    if (pid <= 0)
        return r;
    r.status = WaitProgram(pid, limit_ms, &r.timed_out);
    r.out = ReadFile(dir + "/out.txt");
    r.err = ReadFile(dir + "/err.txt");
    return r;
}

int Status(const Outcome &r) {
    return WIFEXITED(r.status) ? WEXITSTATUS(r.status) : -1;
}

long Lines(const std::string &text) {
    return (long)std::count(text.begin(), text.end(), '\n');
}

TEST(Options, HelpVersionAndUnknownOnEveryProgram) {
    std::string dir = EnterScratchDir();
    const char *const programs[] = {"marrowdigger", "marrowdigger-server", "marrowdigger-headless",
                                    "marrowdigger-soak"};
    for (const char *program : programs) {
        std::string path = BuildProgram(program), name = path.substr(path.rfind('/') + 1);
        Outcome help = RunProgram(dir, {path, "--help"}, 20000);
        EXPECT_EQ(Status(help), 0) << name;
        EXPECT_EQ(help.out.rfind("usage: " + name + " ", 0), 0u) << name << ": " << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos) << name;
        EXPECT_EQ(help.err, "") << name;

        Outcome version = RunProgram(dir, {path, "--version"}, 20000);
        EXPECT_EQ(Status(version), 0) << name;
        EXPECT_EQ(version.out, name + " " MD_VERSION "\n") << name;
        EXPECT_EQ(version.err, "") << name;

        Outcome bad = RunProgram(dir, {path, "--no-such-option"}, 20000);
        EXPECT_EQ(Status(bad), 2) << name;
        EXPECT_EQ(Lines(bad.err), 1) << name << ": " << bad.err;
        EXPECT_NE(bad.err.find("--no-such-option"), std::string::npos) << name << ": " << bad.err;
        EXPECT_EQ(bad.out, "") << name;
    }
}

// Each program's own line for a bad command line, word for word: scripts and
// the users' habits rely on them, and on which forms of an option each takes.
TEST(Options, EachProgramKeepsItsOwnLineForABadCommandLine) {
    std::string dir = EnterScratchDir();
    const std::string game = "marrowdigger: ", server = "marrowdigger-server: ",
                      headless = "marrowdigger-headless: ",
                      lists = " (marrowdigger-headless --help lists the options)\n";
    const struct {
        std::vector<std::string> args; // the program, then its options
        std::string err;
    } cases[] = {
        {{"marrowdigger", "--watch"}, game + "--watch needs a record file\n"},
        {{"marrowdigger", "--spectate"}, game + "--spectate needs HOST or HOST:PORT\n"},
        {{"marrowdigger", "--watch="}, game + "--watch needs a record file, not an empty name\n"},
        {{"marrowdigger", "--help=1"},
         game + "unknown option '--help=1' (marrowdigger --help lists them)\n"},
        {{"marrowdigger", "--connect=", "--spectate", "h"},
         game + "--connect, --watch and --spectate go one at a time\n"},
        {{"marrowdigger-server", "--port=1"}, server + "unknown option '--port=1'\n"},
        {{"marrowdigger-server", "--quiet", "--data", ""}, server + "an empty path for '--data'\n"},
        {{"marrowdigger-server", "--record-dir", "a", "--record", "b"},
         server + "--record and --record-dir cannot go together: give one\n"},
        {{"marrowdigger-headless", "--nope=3"}, headless + "unknown option '--nope'" + lists},
        {{"marrowdigger-headless", "--trace"}, headless + "--trace needs a value" + lists},
        {{"marrowdigger-headless", "--script="},
         headless + "--script needs a path, not an empty one" + lists},
        {{"marrowdigger-headless", "--scale=9"},
         headless + "--scale needs a number from 1 to 8" + lists},
        {{"marrowdigger-headless", "--hash-every", "x"},
         headless + "--hash-every needs a number from 0 to 2000000000" + lists},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args = c.args;
        args[0] = BuildProgram(args[0]);
        Outcome r = RunProgram(dir, args, 20000);
        EXPECT_EQ(Status(r), 2) << c.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "") << c.err;
    }
}

// As in a terminal with no display: neither DISPLAY nor WAYLAND_DISPLAY, no
// SDL_VIDEODRIVER, no runtime folder (SDL's probes complain without one).
void ForgetDisplay() {
    for (const char *name : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"})
        unsetenv(name);
}

TEST(NoDisplay, GameSaysSoInOneLineAndEnds) {
    if (UnderEmulator())
        GTEST_SKIP() << "the build sysroot's SDL under an emulator is not a desktop's";
    std::string dir = EnterScratchDir();
    ASSERT_EQ(chdir(DataDir().c_str()), 0);
    ForgetDisplay();
    // On-line too, before the join: none waits for a server that is not there.
    for (std::vector<std::string> args :
         {std::vector<std::string>{}, {"--connect", "127.0.0.1:9"}}) {
        args.insert(args.begin(), BuildProgram("marrowdigger"));
        Outcome r = RunProgram(dir, args, 2000);
        ASSERT_FALSE(r.timed_out) << "still running after 2 s";
        EXPECT_EQ(Status(r), 1) << r.err;
        EXPECT_EQ(Lines(r.err), 1) << r.err;
        EXPECT_NE(r.err.find("no display"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

// The driver SDL falls back to is honoured when asked for by name.
TEST(NoDisplay, AnExplicitVideoDriverIsHonoured) {
    if (UnderEmulator())
        GTEST_SKIP() << "the offscreen driver's renderer is too slow under an emulator";
    std::string dir = EnterScratchDir();
    ASSERT_EQ(chdir(DataDir().c_str()), 0);
    ForgetDisplay();
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    Outcome r = RunProgram(dir, {BuildProgram("marrowdigger")}, 1500);
    EXPECT_TRUE(r.timed_out) << "ended with status " << Status(r) << ": " << r.err;
}

} // namespace
