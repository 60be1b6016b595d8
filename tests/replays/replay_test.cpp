// Recorded runs: every script of this folder is played again through the
// headless runner, in this process, and must give the recorded trace lines
// at the recorded frames, end at the recorded last frame, and draw the
// recorded screenshots pixel for pixel. scripts/record-replays.sh records
// them anew after an intended change.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "headless/pngio.h"
#include "headless/runner.h"
#include "support/testsupport.h"

namespace {

std::string ReplayDir() {
    return DataDir() + "/../tests/replays";
}

// Frame number of a trace line, -1 when it is not one.
long LineFrame(const std::string &line) {
    const char key[] = "{\"frame\":";
    if (line.compare(0, sizeof key - 1, key) != 0)
        return -1;
    return strtol(line.c_str() + sizeof key - 1, NULL, 10);
}

std::vector<std::string> ReadLines(const std::string &path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Frames of the recorded screenshots NAME-FRAME.png, in directory order.
std::vector<long> ScreenshotFrames(const std::string &name) {
    std::vector<long> frames;
    DIR *dir = opendir(ReplayDir().c_str());
    if (!dir)
        return frames;
    std::string prefix = name + "-";
    while (dirent *entry = readdir(dir)) {
        std::string file = entry->d_name;
        if (file.compare(0, prefix.size(), prefix) != 0 || file.size() < prefix.size() + 5 ||
            file.compare(file.size() - 4, 4, ".png") != 0)
            continue;
        std::string digits = file.substr(prefix.size(), file.size() - prefix.size() - 4);
        if (digits.find_first_not_of("0123456789") == std::string::npos)
            frames.push_back(strtol(digits.c_str(), NULL, 10));
    }
    closedir(dir);
    return frames;
}

std::string ShotName(const std::string &name, long frame) {
    char buf[64];
    snprintf(buf, sizeof buf, "%s-%04ld.png", name.c_str(), frame);
    return buf;
}

// Compares two PNG files pixel by pixel; reports the first difference.
void ExpectSamePicture(const std::string &want, const std::string &got) {
    std::vector<uint8_t> a, b;
    uint32_t aw, ah, bw, bh;
    std::string err;
    ASSERT_TRUE(ReadPngRgb(want, a, aw, ah, err)) << err;
    ASSERT_TRUE(ReadPngRgb(got, b, bw, bh, err)) << err;
    ASSERT_EQ(aw, bw) << got;
    ASSERT_EQ(ah, bh) << got;
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < a.size(); i += 3)
        if (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2])
            if (differing++ == 0)
                first = i / 3;
    EXPECT_EQ(differing, 0u) << got << ": first differing pixel at (" << first % aw << ", "
                             << first / aw << ")";
}

// Plays tests/replays/NAME.script and checks it against the recording.
void CheckReplay(const std::string &name) {
    // The game's state is not reset between runs, so one run per process
    // (ctest starts a process per test).
    static bool played;
    if (played)
        GTEST_SKIP() << "run one replay per process, as ctest does";
    played = true;

    std::vector<std::string> expected;
    for (const std::string &line : ReadLines(ReplayDir() + "/" + name + ".expected"))
        if (LineFrame(line) >= 0)
            expected.push_back(line);
    ASSERT_GE(expected.size(), 3u) << "no recording for " << name;
    std::vector<long> shots = ScreenshotFrames(name);
    ASSERT_FALSE(shots.empty()) << "no screenshots recorded for " << name;

    std::string out = EnterScratchDir();
    std::vector<std::string> args = {"marrowdigger-headless",
                                     "--data",
                                     DataDir(),
                                     "--script",
                                     ReplayDir() + "/" + name + ".script",
                                     "--trace",
                                     out + "/trace.jsonl"};
    for (long f : shots) {
        args.push_back("--screenshot");
        args.push_back(std::to_string(f) + ":" + out + "/" + ShotName(name, f));
    }
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(NULL);
    ASSERT_EQ(HeadlessMain((int)args.size(), argv.data()), 0);

    std::vector<std::string> trace = ReadLines(out + "/trace.jsonl");
    ASSERT_EQ((long)trace.size(), LineFrame(expected.back()) + 1)
        << "the run ended at a different frame";
    for (size_t i = 0; i < trace.size(); i++)
        ASSERT_EQ(LineFrame(trace[i]), (long)i) << trace[i];
    for (const std::string &line : expected)
        EXPECT_EQ(trace[LineFrame(line)], line);
    for (long f : shots)
        ExpectSamePicture(ReplayDir() + "/" + ShotName(name, f), out + "/" + ShotName(name, f));
}

TEST(Replay, WalkThroughDoorsAndWanderersToTheGreatHall) {
    CheckReplay("walk");
}

TEST(Replay, MenuWrapsRunsAnInertItemAndReturnsToPlay) {
    CheckReplay("menu");
}

TEST(Replay, ExitItemEndsTheRunBeforeTheScript) {
    CheckReplay("exit");
}

} // namespace
