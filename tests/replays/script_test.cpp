// The headless runner's pieces: the input script (clock, held buttons, extra
// pads, errors by line), the frame hash, the PNG writer, the options, and
// short real runs that check how the script reaches the game.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "headless/pngio.h"
#include "headless/runner.h"
#include "headless/script.h"
#include "platform/input.h"
#include "platform/platform.h"
#include "support/testsupport.h"
#include "world/world.h"

namespace {

HeadlessScript Parse(const std::string &text) {
    HeadlessScript script;
    std::string err;
    EXPECT_TRUE(ParseScript(text, script, err)) << err;
    return script;
}

// The error message of a script that must be refused.
std::string ParseError(const std::string &text) {
    HeadlessScript script;
    std::string err;
    EXPECT_FALSE(ParseScript(text, script, err)) << text;
    return err;
}

TEST(Script, ButtonNamesAreTheConsoleButtonNumbers) {
    EXPECT_EQ(ScriptButton("UP"), BTN_UP);
    EXPECT_EQ(ScriptButton("UPLEFT"), BTN_UPLEFT);
    EXPECT_EQ(ScriptButton("LEFT"), BTN_LEFT);
    EXPECT_EQ(ScriptButton("DOWNLEFT"), BTN_DOWNLEFT);
    EXPECT_EQ(ScriptButton("DOWN"), BTN_DOWN);
    EXPECT_EQ(ScriptButton("DOWNRIGHT"), BTN_DOWNRIGHT);
    EXPECT_EQ(ScriptButton("RIGHT"), BTN_RIGHT);
    EXPECT_EQ(ScriptButton("UPRIGHT"), BTN_UPRIGHT);
    EXPECT_EQ(ScriptButton("START"), BTN_START);
    EXPECT_EQ(ScriptButton("SELECT"), BTN_SELECT);
    EXPECT_EQ(ScriptButton("L"), BTN_L);
    EXPECT_EQ(ScriptButton("R"), BTN_R);
    EXPECT_EQ(ScriptButton("A"), BTN_A);
    EXPECT_EQ(ScriptButton("B"), BTN_B);
    EXPECT_EQ(ScriptButton("X"), BTN_X);
    EXPECT_EQ(ScriptButton("Y"), BTN_Y);
    EXPECT_EQ(ScriptButton("VOLUP"), BTN_VOLUP);
    EXPECT_EQ(ScriptButton("VOLDOWN"), BTN_VOLDOWN);
    EXPECT_EQ(ScriptButton("start"), BTN_START);
    EXPECT_EQ(ScriptButton("UP-RIGHT"), -1);
    EXPECT_EQ(ScriptButton(""), -1);
}

TEST(Script, ClockStepsJumpsAndHeldButtons) {
    HeadlessScript s = Parse("# a comment line\n"
                             "start 1000\n"
                             "hold RIGHT 2   # two frames\n"
                             "step 100\n"
                             "hold down a 1\n"
                             "jump 600\n"
                             "wait 2\n");
    ASSERT_EQ(ScriptFrames(s), 5u);
    EXPECT_EQ(s.tick, (std::vector<uint32_t>{1000, 1016, 1116, 1816, 1916}));
    EXPECT_EQ(s.held[0], 1u << BTN_RIGHT);
    EXPECT_EQ(s.held[1], 1u << BTN_RIGHT);
    EXPECT_EQ(s.held[2], (1u << BTN_DOWN) | (1u << BTN_A));
    EXPECT_EQ(s.held[3], 0u);
    EXPECT_EQ(s.held[4], 0u);
    // A jump before the first frame moves the first frame's tick.
    EXPECT_EQ(Parse("jump 50\nwait 1\n").tick[0], 50u);
    EXPECT_EQ(ScriptFrames(Parse("")), 0u);
}

TEST(Script, ClockWrapsAtTwoToThe32) {
    HeadlessScript s = Parse("start 4294967290\nstep 4\nwait 3\n");
    EXPECT_EQ(s.tick, (std::vector<uint32_t>{4294967290u, 4294967294u, 2u}));
}

TEST(Script, ExtraPadsKeepTheirStateUntilChanged) {
    HeadlessScript s = Parse("pads 2\n"
                             "pad 1 stick 32767 -32768 buttons 0 9\n"
                             "wait 1\n"
                             "pad 2 buttons 3\n"
                             "pad 1 stick 0 0\n"
                             "wait 1\n"
                             "pad 1 buttons\n"
                             "wait 1\n");
    EXPECT_EQ(s.pads, 2);
    ASSERT_EQ(ScriptFrames(s), 3u);
    EXPECT_EQ(s.padaxis[0][0][0], 32767);
    EXPECT_EQ(s.padaxis[0][1][0], -32768);
    EXPECT_EQ(s.padheld[0][0], (1u << 0) | (1u << 9));
    EXPECT_EQ(s.padheld[1][0], 0u);
    EXPECT_EQ(s.padaxis[0][0][1], 0);
    EXPECT_EQ(s.padheld[0][1], (1u << 0) | (1u << 9)); // stick alone keeps the buttons
    EXPECT_EQ(s.padheld[1][1], 1u << 3);
    EXPECT_EQ(s.padheld[0][2], 0u);
}

TEST(Script, ExtendingCarriesTheClockAndPadsOnWithNothingHeld) {
    HeadlessScript s = Parse("pads 1\npad 1 stick 9000 0\nstep 40\nhold A 2\njump 5\n");
    ExtendScript(s, 4);
    ASSERT_EQ(ScriptFrames(s), 4u);
    EXPECT_EQ(s.tick, (std::vector<uint32_t>{0, 40, 85, 125}));
    EXPECT_EQ(s.held[2], 0u);
    EXPECT_EQ(s.padaxis[0][0][3], 9000);
    HeadlessScript empty;
    ExtendScript(empty, 2);
    EXPECT_EQ(empty.tick, (std::vector<uint32_t>{0, SCRIPT_DEFAULT_STEP}));
}

TEST(Script, BadLinesNameTheirLineNumber) {
    EXPECT_EQ(ParseError("wait 1\n\n  bogus 3\n"), "script line 3: unknown statement 'bogus'");
    EXPECT_EQ(ParseError("hold JUMP 2\n"), "script line 1: unknown button 'JUMP'");
    EXPECT_NE(ParseError("# c\nhold RIGHT\n").find("script line 2:"), std::string::npos);
    EXPECT_NE(ParseError("wait 0\n").find("line 1"), std::string::npos);
    EXPECT_NE(ParseError("wait -1\n").find("line 1"), std::string::npos);
    EXPECT_NE(ParseError("wait 2 3\n").find("line 1"), std::string::npos);
    EXPECT_NE(ParseError("step 4294967296\n").find("line 1"), std::string::npos);
    EXPECT_NE(ParseError("step 12ms\n").find("line 1"), std::string::npos);
    EXPECT_NE(ParseError("wait 1\nstart 5\n").find("line 2: start must come before"),
              std::string::npos);
    EXPECT_NE(ParseError("wait 1\npads 1\n").find("line 2: pads must come before"),
              std::string::npos);
    EXPECT_NE(ParseError("pads 5\n").find("line 1"), std::string::npos);
    EXPECT_NE(ParseError("pads 1\npad 2 buttons 1\n").find("line 2: pad 2 is not plugged in"),
              std::string::npos);
    EXPECT_NE(ParseError("pads 1\npad 1 buttons 10\n").find("line 2"), std::string::npos);
    EXPECT_NE(ParseError("pads 1\npad 1 stick 32768 0\n").find("line 2"), std::string::npos);
    EXPECT_NE(ParseError("pads 1\npad 1 stick 5\n").find("line 2"), std::string::npos);
    EXPECT_NE(ParseError("pads 1\npad 1 wiggle\n").find("line 2"), std::string::npos);
    EXPECT_NE(ParseError("hold A 600000\nhold B 400001\n").find("line 2"), std::string::npos);
    EXPECT_EQ(ScriptFrames(Parse("hold A 600000\nhold B 400000\n")), 1000000u); // the cap itself
}

TEST(Headless, FrameHashIsFnv1a64) {
    EXPECT_EQ(FrameHash(NULL, 0), 0xcbf29ce484222325ull);
    EXPECT_EQ(FrameHash((const uint8_t *)"a", 1), 0xaf63dc4c8601ec8cull);
    EXPECT_EQ(FrameHash((const uint8_t *)"foobar", 6), 0x85944171f73967e8ull);
}

TEST(Headless, PngGoesThroughThePaletteAndScales) {
    std::string dir = EnterScratchDir();
    uint8_t pal[256 * 3] = {};
    pal[3 * 7 + 0] = 200; // colour 7: (200, 10, 30)
    pal[3 * 7 + 1] = 10;
    pal[3 * 7 + 2] = 30;
    pal[3 * 255 + 2] = 255; // colour 255: blue
    const uint8_t pixels[3 * 2] = {7, 0, 255, 0, 7, 7};
    std::vector<uint8_t> work, rgb;
    std::string err;
    ASSERT_TRUE(WriteIndexedPng(dir + "/a.png", pixels, 3, 2, pal, 2, work, err)) << err;
    uint32_t w, h;
    ASSERT_TRUE(ReadPngRgb(dir + "/a.png", rgb, w, h, err)) << err;
    ASSERT_EQ(w, 6u);
    ASSERT_EQ(h, 4u);
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++) {
            const uint8_t *want = pal + 3 * pixels[(y / 2) * 3 + x / 2];
            const uint8_t *got = &rgb[(y * w + x) * 3];
            EXPECT_TRUE(got[0] == want[0] && got[1] == want[1] && got[2] == want[2])
                << "pixel " << x << "," << y;
        }
    EXPECT_FALSE(WriteIndexedPng(dir + "/b.png", pixels, 3, 2, pal, 0, work, err));
    EXPECT_FALSE(WriteIndexedPng(dir + "/no/such/dir.png", pixels, 3, 2, pal, 1, work, err));
    EXPECT_FALSE(ReadPngRgb(dir + "/missing.png", rgb, w, h, err));
}

// Runs the runner with the given arguments after the program name.
int RunHeadless(std::vector<std::string> args) {
    args.insert(args.begin(), "marrowdigger-headless");
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(NULL);
    return HeadlessMain((int)args.size(), argv.data());
}

TEST(Headless, BadOptionsAndScriptsExitWithTwo) {
    std::string dir = EnterScratchDir();
    WriteFile("bad.script", "step 100\nhold LEFT RIGHT\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunHeadless({"--bogus"}), 2);
    EXPECT_EQ(RunHeadless({"--frames", "ten"}), 2);
    EXPECT_EQ(RunHeadless({"--frames"}), 2);
    EXPECT_EQ(RunHeadless({"--scale", "9"}), 2);
    EXPECT_EQ(RunHeadless({"--scale", "0"}), 2);
    EXPECT_EQ(RunHeadless({"--screenshot", "12"}), 2);
    EXPECT_EQ(RunHeadless({"--screenshot", "x:a.png"}), 2);
    EXPECT_EQ(RunHeadless({"--script", dir + "/missing.script"}), 2);
    EXPECT_EQ(RunHeadless({"--script=bad.script"}), 2);
    EXPECT_EQ(RunHeadless({"--frames", "1", "--data", dir + "/nowhere"}), 2);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("bad.script: script line 2:"), std::string::npos) << err;
    EXPECT_NE(err.find("unknown option '--bogus'"), std::string::npos) << err;
}

TEST(Headless, OptionRangesEndWhereTheUsageSays) {
    std::string dir = EnterScratchDir();
    // Accepted values get as far as the missing data folder.
    for (std::vector<std::string> good : {std::vector<std::string>{"--frames", "1000000"},
                                          {"--frames", "0"},
                                          {"--scale", "1"},
                                          {"--scale", "8"}}) {
        good.insert(good.end(), {"--data", dir + "/nowhere"});
        testing::internal::CaptureStderr();
        EXPECT_EQ(RunHeadless(good), 2) << good[0] << " " << good[1];
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("cannot enter the data folder"), std::string::npos) << err;
    }
    for (std::vector<std::string> bad :
         {std::vector<std::string>{"--frames", "1000001"}, {"--connect"}}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(RunHeadless(bad), 2) << bad[0];
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.find("marrowdigger-headless: " + bad[0]), 0u) << err;
    }
}

// Scripts without end, overlong lines and a data folder that is not there
// are refused before any output is opened; control bytes of the script are
// shown escaped.
TEST(Headless, HostileScriptsAreRefusedBeforeAnyOutput) {
    std::string dir = EnterScratchDir();
    std::string wait_lines;
    while (wait_lines.size() <= SCRIPT_MAX_BYTES)
        wait_lines += "wait 1\n";
    WriteFile("long.script", wait_lines);
    WriteFile("wide.script", std::string(4096, '#') + "\n" + std::string(4097, '#') + "\n");
    WriteFile("escape.script", "hold \x1b]0;x\x07 1\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunHeadless({"--script", "long.script"}), 2);
    if (access("/dev/zero", R_OK) == 0) {
        EXPECT_EQ(RunHeadless({"--script", "/dev/zero"}), 2);
    }
    EXPECT_EQ(RunHeadless({"--script", "wide.script"}), 2);
    EXPECT_EQ(RunHeadless({"--script", "escape.script"}), 2);
    EXPECT_EQ(RunHeadless({"--trace", "t.jsonl", "--data", dir + "/nowhere", "--frames", "1"}), 2);
    for (const char *option : {"--script", "--trace", "--watch", "--data"})
        EXPECT_EQ(RunHeadless({option, "", "--frames", "1"}), 2) << option << " ''";
    std::string err = testing::internal::GetCapturedStderr();
    // Paths are named in full, as read from the folder the runner started in.
    EXPECT_NE(err.find("cannot read the script " + dir + "/long.script: longer than 1 MiB"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("wide.script: script line 2: longer than 4096 bytes"), std::string::npos)
        << err;
    EXPECT_NE(err.find("unknown button '\\x1b]0;x\\x07'"), std::string::npos) << err;
    EXPECT_EQ(err.find('\x1b'), std::string::npos);
    EXPECT_EQ(access("t.jsonl", F_OK), -1) << "the trace was opened before the data folder";
}

// A trace or screenshot that cannot be written makes the exit status 1, and a
// failed screenshot never removes what its path names.
TEST(Headless, UnwritableTraceAndScreenshotExitWithOne) {
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full here";
    std::string dir = EnterScratchDir();
    ASSERT_EQ(symlink("/dev/full", "full.png"), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunHeadless({"--data", DataDir(), "--frames", "1", "--trace", "/dev/full",
                           "--screenshot", "0:full.png"}),
              1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cannot write the trace /dev/full"), std::string::npos) << err;
    EXPECT_NE(err.find(dir + "/full.png: "), std::string::npos) << err;
    struct stat st;
    EXPECT_EQ(lstat((dir + "/full.png").c_str(), &st), 0); // the runner left for the data
}

// The trace alone: its one line fails only when it is written out at the end.
TEST(Headless, TraceFailingAtCloseExitsWithOne) {
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full here";
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunHeadless({"--data", DataDir(), "--frames", "1", "--trace", "/dev/full"}), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cannot write the trace /dev/full"), std::string::npos) << err;
}

// Runs a script on the shipped data and returns the trace lines.
std::vector<std::string> TraceOf(const std::string &script, std::vector<std::string> more = {}) {
    std::string dir = EnterScratchDir();
    WriteFile("run.script", script);
    std::vector<std::string> args = {
        "--data", DataDir(), "--script", dir + "/run.script", "--trace", dir + "/trace.jsonl"};
    args.insert(args.end(), more.begin(), more.end());
    EXPECT_EQ(RunHeadless(args), 0);
    std::vector<std::string> lines;
    std::ifstream in(dir + "/trace.jsonl");
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool Has(const std::string &line, const std::string &part) {
    return line.find(part) != std::string::npos;
}

TEST(Headless, FirstFrameGetsItsControlsAndTheRunStopsAfterTheLast) {
    // START held in frame 0 opens the menu in frame 0: the controls of the
    // first frame are in place before the loop starts.
    std::vector<std::string> t = TraceOf("start 20\nhold START 1\nwait 2\n");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_TRUE(Has(t[0], "{\"frame\":0,\"tick\":20,\"count\":0,\"turn\":0,\"menu\":1,\"loop\":1"))
        << t[0];
    EXPECT_TRUE(Has(t[2], "\"frame\":2,\"tick\":52,\"count\":2,")) << t[2];
    EXPECT_EQ(count, 3u);
}

TEST(Headless, FramesOptionCutsOrExtendsTheScript) {
    std::vector<std::string> t = TraceOf("step 100\nhold RIGHT 3\n", {"--frames", "8"});
    ASSERT_EQ(t.size(), 8u);
    // The first turn (above 500 ms, frame 6) carries out the move held in
    // frames 0..2: the command stays set after the pad is released.
    EXPECT_TRUE(Has(t[5], "\"turn\":0,") && Has(t[5], "\"x\":2,\"y\":4,")) << t[5];
    EXPECT_TRUE(Has(t[6], "\"tick\":600,") && Has(t[6], "\"turn\":1,")) << t[6];
    EXPECT_TRUE(Has(t[6], "\"x\":3,\"y\":4,")) << t[6];
}

TEST(Headless, ExtraPadStickWalksThePlayer) {
    std::vector<std::string> t =
        TraceOf("pads 1\nstep 100\npad 1 stick 0 32767\nwait 13\n", {"--screenshot", "12:s.png"});
    ASSERT_EQ(t.size(), 13u);
    EXPECT_TRUE(Has(t[6], "\"x\":2,\"y\":5,")) << t[6];
    EXPECT_TRUE(Has(t[12], "\"x\":2,\"y\":6,")) << t[12];
    EXPECT_EQ(Platform_Gamepads, 1);
}

TEST(Headless, ZeroFramesRunsStartUpAndShutDownOnly) {
    std::string dir = EnterScratchDir();
    EXPECT_EQ(RunHeadless({"--data", DataDir(), "--frames", "0", "--trace", dir + "/t"}), 0);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(GameLoopEnabled, 1);
}

TEST(Headless, ScreenshotOfAFrameNeverPresentedFails) {
    std::string dir = EnterScratchDir();
    testing::internal::CaptureStderr();
    EXPECT_EQ(
        RunHeadless({"--data", DataDir(), "--frames", "2", "--screenshot", "5:" + dir + "/x.png"}),
        1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("frame 5 was never presented"), std::string::npos) << err;
}

} // namespace
