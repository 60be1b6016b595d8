// Watching records: the headless runner's watch gives the server replay's
// hash lines, its speed and pause controls pace the turns, the menu leaves
// the watched world alone, X and Y jump, and hostile records get one line.
// Records of version 1 are watched as well as those of version 2.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "wire/records.h"

// Writes a version 1 record of two players over `turns` turns: slot 1
// leaves for a while and comes back, and the moves change every few turns.
static void WriteRecord(const std::string &path, uint32_t turns) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    ASSERT_TRUE(RecordHeader(f, DataHash(), 2, SETUP_RESTART, 1));
    for (uint32_t t = 0; t < turns; t++) {
        uint8_t held = t >= 100 && t < 180 ? 1 : 3;
        for (int s = 0; s < 2; s++) {
            net_client_msg[s * CLIENT_SLOT] = 1;
            net_client_msg[s * CLIENT_SLOT + 1] = (uint8_t)((t / 7 + 3 * s) % 9);
        }
        ASSERT_TRUE(RecordTurn(f, t, held));
    }
    ASSERT_TRUE(RecordEnd(f, turns));
    fclose(f);
}

// Runs the headless runner on a record; its exit status, output in dir/w.out
// and dir/w.err.
static int Watch(const std::string &dir, const std::vector<std::string> &options) {
    std::vector<std::string> args = {BuildProgram("marrowdigger-headless"), "--data", DataDir()};
    args.insert(args.end(), options.begin(), options.end());
    return ExitStatus(StartProgram(args, dir + "/w.out", dir + "/w.err"), 60000);
}

// Turn of every frame of a trace.
static std::vector<unsigned> TraceTurns(const std::string &trace) {
    std::vector<unsigned> turns;
    for (size_t at = 0; (at = trace.find("\"turn\":", at)) != std::string::npos; at++)
        turns.push_back((unsigned)atol(trace.c_str() + at + 7));
    return turns;
}

static int CountLines(const std::string &text) {
    return (int)std::count(text.begin(), text.end(), '\n');
}

TEST(Watch, HashLinesEqualTheReplaysWithTheMenuOpenedOnTheWay) {
    std::string dir = TempDir(), rec = dir + "/game.rec";
    WriteRecord(rec, 611);
    ASSERT_EQ(Replay(rec, DataDir(), 37, dir), 0) << ReadFile(dir + "/replay.err");
    std::string replay = ReadFile(dir + "/replay.out");
    ASSERT_EQ(HashLines(replay).size(), 17u);

    // 8 turns a frame; the menu's background draws from the random stream.
    WriteFile(dir + "/fast.txt", "step 4000\nwait 10\nhold START 1\nwait 3\nhold A 1\nwait 3\n");
    ASSERT_EQ(Watch(dir, {"--watch", rec, "--hash-every", "37", "--script", dir + "/fast.txt"}), 0)
        << ReadFile(dir + "/w.err");
    EXPECT_EQ(ReadFile(dir + "/w.out"), replay);
    EXPECT_NE(ReadFile(dir + "/w.err").find("turn 611, the watched game ended"), std::string::npos);
}

TEST(Watch, SpeedStepsAndPausePaceTheTurns) {
    std::string dir = TempDir(), rec = dir + "/game.rec";
    WriteRecord(rec, 300);
    // 100 ms frames: 50 at real time, R seven times (64x is the top), 10
    // frames, A, 10 paused frames, A, L nine times (a quarter is the
    // bottom), 40 frames, then at 64x past the end.
    std::string script = "step 100\nwait 50\n";
    for (int i = 0; i < 7; i++)
        script += "hold R 1\nwait 1\n";
    script += "wait 9\nhold A 1\nwait 10\nhold A 1\n";
    for (int i = 0; i < 9; i++)
        script += "hold L 1\nwait 1\n";
    script += "wait 40\n";
    for (int i = 0; i < 8; i++)
        script += "hold R 1\nwait 1\n";
    script += "wait 300\n";
    WriteFile(dir + "/s.txt", script);
    ASSERT_EQ(Watch(dir, {"--watch", rec, "--script", dir + "/s.txt", "--frames", "500", "--trace",
                          dir + "/t.json"}),
              0)
        << ReadFile(dir + "/w.err");
    std::vector<unsigned> t = TraceTurns(ReadFile(dir + "/t.json"));
    ASSERT_EQ(t.size(), 500u);
    EXPECT_EQ(t[49], 9u); // 4.9 s at real time
    // R at frames 50, 52, ... 62: 2x .. 64x; then 12.8 turns a frame.
    unsigned at64 = t[63];
    EXPECT_GE(t[72] - at64, 115u); // 9 frames at 64x: 57600 ms of record time, and the
    EXPECT_LE(t[72] - at64, 116u); // part of a turn carried over
    EXPECT_EQ(t[83], t[73]);       // A at frame 73 pauses, A at 84 resumes
    // L from frame 85 on: down to a quarter by the last press at 101.
    EXPECT_EQ(t[141] - t[101], 2u); // 4 s at a quarter: 1 s of record time
    EXPECT_EQ(t.back(), 300u);      // the last turn stays on screen
}

TEST(Watch, JumpsStepAThousandTurnsAndTimeInTheMenuIsNotRun) {
    std::string dir = TempDir(), rec = dir + "/game.rec";
    std::vector<Turn> game;
    for (uint32_t t = 0; t < 3500; t++)
        game.push_back({t, 3, {(uint8_t)(t / 7 % 9), (uint8_t)(t / 5 % 9), 0, 0}});
    WriteGame(rec, 2, game);
    ASSERT_EQ(Replay(rec, DataDir(), 100, dir), 0) << ReadFile(dir + "/replay.err");
    std::map<unsigned, std::string> replay = HashLines(ReadFile(dir + "/replay.out"));
    // 100 ms frames: Y four times (the last one runs into the end), X four
    // times (the last one back to the start), then 5 s in the menu.
    const char keys[] = "YYYYXXXX";
    std::string script = "step 100\nwait 10\n";
    for (const char *k = keys; *k; k++)
        script += std::string("hold ") + *k + " 1\nwait 4\n";
    script += "hold START 1\nwait 50\nhold A 1\nwait 40\n";
    WriteFile(dir + "/s.txt", script);
    ASSERT_EQ(Watch(dir, {"--watch", rec, "--script", dir + "/s.txt", "--frames", "150",
                          "--hash-every", "100", "--trace", dir + "/t.json"}),
              0)
        << ReadFile(dir + "/w.err");
    std::vector<unsigned> t = TraceTurns(ReadFile(dir + "/t.json"));
    ASSERT_EQ(t.size(), 150u);
    for (int k = 0; k < 8; k++) {
        unsigned before = t[9 + 5 * k], after = t[10 + 5 * k];
        unsigned want =
            keys[k] == 'Y' ? std::min(before + 1000, 3500u) : (before > 1000 ? before - 1000 : 0);
        EXPECT_GE(after, want) << "key " << k;
        EXPECT_LE(after, want + 1) << "key " << k;
    }
    for (size_t f = 51; f < t.size(); f++)
        EXPECT_LE(t[f] - t[f - 1], 1u) << "frame " << f; // no turns for the menu's time
    EXPECT_LE(t.back() - t[50], 12u);
    std::map<unsigned, std::string> seen = HashLines(ReadFile(dir + "/w.out"));
    EXPECT_GE(seen.size(), 20u);
    for (auto [at, hash] : seen) // before and after a jump, the replay's
        EXPECT_EQ(replay[at], hash) << at;
}

TEST(Watch, HostileRecordsGetOneLine) {
    std::string dir = TempDir(), rec = dir + "/game.rec";
    WriteRecord(rec, 200);
    std::string whole = ReadFile(rec);
    ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
    WriteFile(dir + "/junk.rec", "MDGOREC1 and then some");
    struct Refusal {
        std::string path, says;
    } refusals[] = {{dir + "/fifo", "not a regular file"},
                    {"/dev/zero", "not a regular file"},
                    {dir + "/missing.rec", "cannot read the record"},
                    {dir + "/junk.rec", "is not a game record"}};
    for (const Refusal &r : refusals) {
        EXPECT_EQ(Watch(dir, {"--watch", r.path}), 2) << r.path;
        std::string err = ReadFile(dir + "/w.err");
        EXPECT_NE(err.find(r.says), std::string::npos) << err;
        EXPECT_EQ(CountLines(err), 1) << err;
    }
    // The game itself refuses before it opens a window.
    pid_t game = StartProgram({BuildProgram("marrowdigger"), "--watch", dir + "/fifo"},
                              dir + "/g.out", dir + "/g.err");
    EXPECT_EQ(ExitStatus(game, 20000), 1);
    EXPECT_NE(ReadFile(dir + "/g.err").find("not a regular file"), std::string::npos);

    // Cut short: the hashes up to there, then the line naming the turn.
    WriteFile(rec, whole.substr(0, 18 + 100 * (5 + 2 * CLIENT_SLOT + 4) + 7));
    WriteFile(dir + "/fast.txt", "step 60000\n");
    EXPECT_EQ(Watch(dir, {"--watch", rec, "--hash-every", "50", "--script", dir + "/fast.txt"}), 1);
    EXPECT_EQ(HashLines(ReadFile(dir + "/w.out")).size(), 2u); // 50 and 100
    EXPECT_NE(ReadFile(dir + "/w.err").find("is cut short at turn 100"), std::string::npos);

    // Made from other data.
    WriteFile(rec, whole);
    std::string other = TempDir();
    mkdir((other + "/data").c_str(), 0755);
    WriteFile(other + "/data/maptest.map", ReadFile(DataDir() + "/data/maptest.map") + "\n");
    WriteFile(other + "/data/tiledata.cfg", ReadFile(DataDir() + "/data/tiledata.cfg"));
    std::vector<std::string> args = {BuildProgram("marrowdigger-headless"), "--data", other,
                                     "--watch", rec};
    EXPECT_EQ(ExitStatus(StartProgram(args, dir + "/w.out", dir + "/w.err"), 20000), 2);
    EXPECT_NE(ReadFile(dir + "/w.err").find("made from other data"), std::string::npos);
}
