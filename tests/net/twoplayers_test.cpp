// Two players in one world: a server and two headless clients as separate
// processes on loopback. Each client's scripted walk moves its own player,
// each sees the other's, and the server's record replays to the hashes the
// live server printed.
#include "net/online.h"

namespace {

// Player cell and players in view of one trace line.
struct Seen {
    unsigned turn;
    int x, y, players;
};

// A number after "name": in a trace line.
long Field(const std::string &line, const std::string &name) {
    size_t at = line.find("\"" + name + "\":");
    return at == std::string::npos ? -1 : atol(line.c_str() + at + name.size() + 3);
}

// The trace lines of a client run, from the first package on.
std::vector<Seen> Trace(const std::string &text) {
    std::vector<Seen> seen;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        Seen s = {(unsigned)Field(line, "turn"), (int)Field(line, "x"), (int)Field(line, "y"),
                  (int)Field(line, "players")};
        if (s.x > 0 || s.y > 0)
            seen.push_back(s);
    }
    return seen;
}

// Starts a headless client with a walk: a second standing, two and a half
// holding the direction, a second standing; 20 ms frames on the real clock.
pid_t StartWalker(const std::string &dir, const std::string &name, uint16_t port,
                  const std::string &direction) {
    WriteFile(dir + "/" + name + ".script",
              "step 20\nwait 50\nhold " + direction + " 125\nwait 50\n");
    return StartProgram({BuildProgram("marrowdigger-headless"), "--data", DataDir(), "--connect",
                         "127.0.0.1:" + std::to_string(port), "--script",
                         dir + "/" + name + ".script", "--trace", dir + "/" + name + ".trace"},
                        "", dir + "/" + name + ".err");
}

TEST(TwoPlayers, WalkTheirOwnPlayersSeeEachOtherAndReplay) {
    std::string dir = TempDir(), rec = dir + "/game.rec";
    Server s;
    ASSERT_TRUE(StartServer(s, dir, "server",
                            {"--players", "2", "--turn-ms", "100", "--turns", "70", "--hash-every",
                             "10", "--record", rec}));
    pid_t right = StartWalker(dir, "right", s.port, "RIGHT");
    ASSERT_TRUE(AwaitText(s.out, "slot 0 joined", 20000));
    pid_t down = StartWalker(dir, "down", s.port, "DOWN");
    bool late = false;
    EXPECT_EQ(WaitProgram(right, 30000, &late), 0) << ReadFile(dir + "/right.err");
    EXPECT_EQ(WaitProgram(down, 30000, &late), 0) << ReadFile(dir + "/down.err");
    ASSERT_EQ(WaitServer(s, 30000), 0);

    // Slot 0 walks creature 0 right from (2, 4); slot 1 creature 1 down from
    // (4, 5), until walls stop them.
    std::vector<Seen> r = Trace(ReadFile(dir + "/right.trace"));
    std::vector<Seen> d = Trace(ReadFile(dir + "/down.trace"));
    ASSERT_GT(r.size(), 50u);
    ASSERT_GT(d.size(), 50u);
    EXPECT_EQ(r.front().x, 2);
    EXPECT_EQ(r.front().y, 4);
    EXPECT_GT(r.back().x, 4);
    EXPECT_EQ(r.back().y, 4);
    EXPECT_EQ(d.front().x, 4);
    EXPECT_EQ(d.front().y, 5);
    EXPECT_EQ(d.back().x, 4);
    EXPECT_GT(d.back().y, 5);
    // They start in each other's view: two players on each screen (from the
    // first turn's package on; the package of turn 0 shows no creature yet).
    int both_r = 0, both_d = 0;
    for (const Seen &e : r)
        both_r += e.players == 2;
    for (const Seen &e : d)
        both_d += e.players == 2;
    EXPECT_GT(both_r, 10);
    EXPECT_GT(both_d, 10);
    EXPECT_GT(d.back().turn, d.front().turn + 20);

    EXPECT_EQ(Replay(rec, DataDir(), 10, dir), 0) << ReadFile(dir + "/replay.err");
    std::map<unsigned, std::string> live = HashLines(ReadFile(s.out));
    EXPECT_EQ(live.size(), 7u);
    EXPECT_EQ(HashLines(ReadFile(dir + "/replay.out")), live);
}

} // namespace
