// The dedicated server's guards, each ending in one clear line: an unusable
// world, records that nothing destroys (a second server, an existing file, a
// FIFO, a full disk, a reader of the output that goes away, a record folder
// shared by many starts), bind failures and the ends of every option's range.
#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "net/online.h"
#include "wire/record.h"

namespace {

// A finished run of the server: its exit status and what it printed.
struct Finished {
    int status;
    std::string out, err;
};

// Runs the server with the given options to its end (at most 20 s).
Finished RunServer(const std::vector<std::string> &options, const std::string &dir) {
    std::vector<std::string> args = {BuildProgram("marrowdigger-server")};
    args.insert(args.end(), options.begin(), options.end());
    Finished r;
    r.status = ExitStatus(StartProgram(args, dir + "/run.out", dir + "/run.err"), 20000);
    r.out = ReadFile(dir + "/run.out");
    r.err = ReadFile(dir + "/run.err");
    return r;
}

// The text is exactly one line that starts with the server's name.
void ExpectOneLine(const std::string &err, const std::string &says) {
    EXPECT_EQ(err.compare(0, 21, "marrowdigger-server: "), 0) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(says), std::string::npos) << err;
}

TEST(ServerGuard, UnusableWorldEndsTheServerWithOneLine) {
    std::string dir = TempDir(), data = dir + "/data";
    mkdir(data.c_str(), 0755);
    std::string tiles = ReadFile(DataDir() + "/data/tiledata.cfg");
    struct Case {
        std::string tiles, map; // "-" for no file
        std::string says;
    } cases[] = {
        {"-", "-", "cannot open data/tiledata.cfg in " + dir + ": No such file or directory (give"},
        {tiles, "-", "cannot open data/maptest.map in " + dir + ": No such file or directory"},
        {"a b c d e\n", "0000\n", "data/tiledata.cfg holds no tile"},
        {tiles, "", "data/maptest.map holds no rows"},
        {tiles, "abc\n", "data/maptest.map gives an empty level"},
    };
    for (const Case &c : cases) {
        unlink((data + "/tiledata.cfg").c_str());
        unlink((data + "/maptest.map").c_str());
        if (c.tiles != "-")
            WriteFile(data + "/tiledata.cfg", c.tiles);
        if (c.map != "-")
            WriteFile(data + "/maptest.map", c.map);
        Finished r = RunServer({"--data", dir, "--bind", "127.0.0.1", "--port", "0", "--turns", "1",
                                "--record", dir + "/never.rec"},
                               dir);
        EXPECT_EQ(r.status, 1) << c.says;
        ExpectOneLine(r.err, c.says);
        EXPECT_EQ(r.out.find("listening"), std::string::npos) << r.out;
        EXPECT_NE(access((dir + "/never.rec").c_str(), F_OK), 0) << c.says;
    }
}

TEST(ServerGuard, RecordsAreNeverDestroyedAndFailuresSayWhy) {
    std::string dir = TempDir(), rec = dir + "/game.rec";
    Server first;
    ASSERT_TRUE(StartServer(first, dir, "first",
                            {"--turn-ms", "5", "--hash-every", "50", "--record", rec}));
    std::string port = std::to_string(first.port);
    ASSERT_TRUE(AwaitText(first.out, "turn 50 hash", 20000));
    // A second start on the same port and record: the port is taken, the
    // record stays the running server's.
    Finished r = RunServer({"--data", DataDir(), "--bind", "127.0.0.1", "--port", port, "--record",
                            rec, "--record-overwrite"},
                           dir);
    EXPECT_EQ(r.status, 1);
    ExpectOneLine(r.err, "cannot listen on 127.0.0.1:" + port + ": Address already in use");
    // On another port, the existing record is refused.
    r = RunServer({"--data", DataDir(), "--port", "0", "--turns", "1", "--record", rec}, dir);
    EXPECT_EQ(r.status, 1);
    ExpectOneLine(r.err, "the record " + rec + " exists already (--record-overwrite");
    kill(first.pid, SIGTERM);
    ASSERT_EQ(WaitServer(first, 10000), 0);
    ASSERT_EQ(Replay(rec, DataDir(), 50, dir), 0) << ReadFile(dir + "/replay.err");
    EXPECT_EQ(HashLines(ReadFile(dir + "/replay.out")), HashLines(ReadFile(first.out)));

    // --record-overwrite replaces a regular file with a whole new record.
    r = RunServer({"--data", DataDir(), "--port", "0", "--turn-ms", "1", "--turns", "20",
                   "--record", rec, "--record-overwrite"},
                  dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Replay(rec, DataDir(), 0, dir), 0) << ReadFile(dir + "/replay.err");
    EXPECT_NE(ReadFile(dir + "/replay.out").find("turn 20 hash"), std::string::npos);

    // A FIFO is neither written nor replayed, and nothing waits on it.
    std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    r = RunServer({"--data", DataDir(), "--port", "0", "--turns", "1", "--record", fifo,
                   "--record-overwrite"},
                  dir);
    EXPECT_EQ(r.status, 1);
    ExpectOneLine(r.err, "cannot write the record " + fifo + ": not a regular file");
    close(reader);
    EXPECT_EQ(Replay(fifo, DataDir(), 0, dir), 1);
    ExpectOneLine(ReadFile(dir + "/replay.err"),
                  "cannot read the record " + fifo + ": not a regular file");

    // A write that fails says why; the server inherits the size limit, with
    // SIGXFSZ at its default action (StartProgram): it ignores that itself.
    rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = {2000, old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &small);
    r = RunServer({"--data", DataDir(), "--port", "0", "--turn-ms", "1", "--turns", "1000",
                   "--hash-every", "0", "--record", dir + "/big.rec"},
                  dir);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(r.status, 1);
    ExpectOneLine(r.err, "cannot write the record " + dir + "/big.rec: File too large");
}

TEST(ServerGuard, BusyServerWithALostReaderStillServesAndEndsWhole) {
    // Turns of every creature with a world hash each, far slower than their
    // 1 ms, come back to back; the output's reader goes away.
    std::string dir = TempDir(), rec = dir + "/game.rec";
    int pipe_fd[2];
    ASSERT_EQ(pipe(pipe_fd), 0);
    fcntl(pipe_fd[0], F_SETFD, FD_CLOEXEC); // only this process reads
    pid_t pid = StartProgram({BuildProgram("marrowdigger-server"), "--data", DataDir(), "--bind",
                              "127.0.0.1", "--port", "0", "--turn-ms", "1", "--turns", "100",
                              "--hash-every", "1", "--all-creatures", "--record", rec},
                             "/dev/fd/" + std::to_string(pipe_fd[1]), dir + "/server.err");
    close(pipe_fd[1]);
    // Read the first line, as `| head -1` does, then go away.
    std::string line;
    char ch;
    while (read(pipe_fd[0], &ch, 1) == 1 && ch != '\n')
        line += ch;
    close(pipe_fd[0]);
    size_t at = line.find("127.0.0.1:");
    ASSERT_NE(at, std::string::npos) << line;
    TestClient c;
    ASSERT_TRUE(Join(c, (uint16_t)atoi(line.c_str() + at + 10)));
    for (long start = NowMs(); !c.gone && NowMs() - start < 60000;)
        PumpFor(c, 5);
    EXPECT_EQ(c.bye, (uint32_t)NET_BYE); // the goodbye came
    EXPECT_EQ(ExitStatus(pid, 60000), 0);
    EXPECT_EQ(ReadFile(dir + "/server.err"), "");
    ASSERT_EQ(Replay(rec, DataDir(), 0, dir), 0) << ReadFile(dir + "/replay.err");
    EXPECT_NE(ReadFile(dir + "/replay.out").find("turn 100 hash"), std::string::npos);
}

TEST(ServerGuard, OptionsHoldTheEndsOfTheirRangesAndBadOnesAreNamed) {
    std::string dir = TempDir();
    // Accepted options lead to the replay of a record that is not there.
    const std::vector<std::vector<std::string>> good = {{"--port", "0"},
                                                        {"--port", "65535"},
                                                        {"--players", "1"},
                                                        {"--players", "4"},
                                                        {"--turn-ms", "1"},
                                                        {"--turn-ms", "60000"},
                                                        {"--turns", "0"},
                                                        {"--turns", "2000000000"},
                                                        {"--hash-every", "2000000000"},
                                                        {"--record-overwrite"},
                                                        {"--quiet"},
                                                        {"--all-creatures"}};
    for (const auto &g : good) {
        std::vector<std::string> args = g;
        args.insert(args.end(), {"--replay", dir + "/none.rec"});
        Finished r = RunServer(args, dir);
        EXPECT_EQ(r.status, 1) << g[0];
        ExpectOneLine(r.err, "cannot read the record");
    }
    const std::vector<std::vector<std::string>> bad = {
        {"--port", "65536"},       {"--port", "-1"},        {"--players", "0"},
        {"--players", "5"},        {"--turn-ms", "0"},      {"--turn-ms", "60001"},
        {"--turns", "2000000001"}, {"--hash-every", "1e3"}, {"--port", ""},
        {"--turns", "99999999999"}};
    for (const auto &b : bad) {
        Finished r = RunServer(b, dir);
        EXPECT_EQ(r.status, 2) << b[0] << " " << b[1];
        EXPECT_EQ(r.err.find("marrowdigger-server: bad value for '" + b[0] + "'\n"), 0u) << r.err;
    }
    Finished r = RunServer({"--players", "2", "--record"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.find("marrowdigger-server: a value is missing after '--record'\n"), 0u)
        << r.err;
    r = RunServer({"--bogus=" + std::string(5000, 'x')}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.find("marrowdigger-server: unknown option '--bogus=" + std::string(72, 'x') +
                         "...'\n"),
              0u)
        << r.err.substr(0, 200);
    // A bind address: too long, not an address, not one of this machine.
    r = RunServer({"--bind", std::string(5000, '1'), "--turns", "1"}, dir);
    EXPECT_EQ(r.status, 1);
    ExpectOneLine(r.err, "'" + std::string(80, '1') + "...' is no IPv4 address");
    r = RunServer({"--data", DataDir(), "--bind", "192.0.2.1", "--port", "0", "--turns", "1"}, dir);
    EXPECT_EQ(r.status, 1);
    ExpectOneLine(r.err, "cannot listen on 192.0.2.1:0: Cannot assign requested address (not an "
                         "address of this machine)");
}

// The text after "what" up to the end of its line.
std::string After(const std::string &text, const std::string &what) {
    size_t at = text.find(what);
    return at == std::string::npos
               ? ""
               : text.substr(at + what.size(), text.find('\n', at) - at - what.size());
}

TEST(ServerGuard, RecordFolderKeepsARecordOfEveryStart) {
    std::string dir = TempDir();
    ASSERT_EQ(chdir(dir.c_str()), 0); // the folder is relative to the start folder
    mkdir("recs", 0755);
    std::string port = "0";
    std::vector<std::string> names, outs;
    for (const char *players : {"4", "2"}) {
        Finished r = RunServer({"--data", DataDir(), "--bind", "127.0.0.1", "--port", port,
                                "--players", players, "--turn-ms", "1", "--turns", "30",
                                "--hash-every", "10", "--record-dir", "recs"},
                               dir);
        ASSERT_EQ(r.status, 0) << r.err;
        names.push_back(After(r.out, "recording to "));
        outs.push_back(r.out);
        // The second start on the same port finds the names of these seconds taken.
        port = After(r.out, "listening on 127.0.0.1:");
        port = port.substr(0, port.find(','));
        for (time_t t = time(nullptr) - 1; t < time(nullptr) + 60; t++) {
            char name[64];
            RecordName(t, (uint16_t)atoi(port.c_str()), 1, name, sizeof name);
            close(open(("recs/" + std::string(name)).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644));
        }
    }
    EXPECT_EQ(names[0].compare(0, 5, "recs/"), 0) << names[0];
    EXPECT_EQ(names[1].substr(names[1].size() - port.size() - 7), "-" + port + "-2.rec");
    for (size_t k = 0; k < names.size(); k++) {
        ASSERT_EQ(Replay(names[k], DataDir(), 10, dir), 0) << ReadFile(dir + "/replay.err");
        EXPECT_EQ(HashLines(ReadFile(dir + "/replay.out")), HashLines(outs[k])) << names[k];
    }
}

TEST(ServerGuard, BadRecordAndDataPlacesEndWithOneLine) {
    std::string dir = TempDir();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    mkdir("recs", 0755);
    mkdir("ro", 0555);
    WriteFile("afile", "");
    // As root the server writes anywhere: here it runs without that power.
    prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0);
    // A port held here: a record folder is refused before the port is tried.
    int held = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    ASSERT_EQ(bind(held, (sockaddr *)&a, size), 0);
    getsockname(held, (sockaddr *)&a, &size);
    std::string port = std::to_string(ntohs(a.sin_port));
    struct Case {
        std::vector<std::string> options;
        const char *env; // MARROWDIGGER_DATA, with no --data
        int status;
        std::string says;
    } cases[] = {
        {{"--record-dir", "none"},
         nullptr,
         1,
         "cannot write records into the folder none: No such file or directory"},
        {{"--record-dir", "afile"}, nullptr, 1, "folder afile: Not a directory"},
        {{"--record-dir", "ro"}, nullptr, 1, "cannot write records into the folder ro: Permission"},
        {{"--record-dir", ""}, nullptr, 2, "an empty path for '--record-dir'"},
        {{"--record", "r.rec", "--record-dir", "recs"}, nullptr, 2, "cannot go together"},
        {{"--record", "recs"}, nullptr, 1, "cannot write the record recs: a folder"},
        {{"--data", ""}, nullptr, 2, "an empty path for '--data'"},
        {{}, "none", 1, "cannot enter the data folder none (MARROWDIGGER_DATA): No such file"},
        {{}, ".", 1, "cannot open data/tiledata.cfg in " + dir + ": No such file"},
    };
    for (const Case &c : cases) {
        bool early = !c.options.empty() && c.options[0] == "--record-dir";
        std::vector<std::string> args = {"--bind", "127.0.0.1", "--turns",
                                         "1",      "--port",    early ? port : "0"};
        if (c.env)
            setenv("MARROWDIGGER_DATA", c.env, 1);
        else
            args.insert(args.end(), {"--data", DataDir()});
        args.insert(args.end(), c.options.begin(), c.options.end());
        Finished r = RunServer(args, dir);
        unsetenv("MARROWDIGGER_DATA");
        EXPECT_EQ(r.status, c.status) << c.says;
        ExpectOneLine(r.err, c.says);
        EXPECT_EQ(r.out, "") << c.says;
    }
    close(held);
    // The data folder from the environment plays.
    setenv("MARROWDIGGER_DATA", DataDir().c_str(), 1);
    Finished r =
        RunServer({"--port", "0", "--turn-ms", "1", "--turns", "5", "--hash-every", "5"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("turn 5 hash"), std::string::npos) << r.out;
}

} // namespace
