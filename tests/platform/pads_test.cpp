// Pad logic on scripted raw states: axis zones, merging of the built-in
// controls with extra pad 0, highest direction wins, new direction and press
// edges, the keyboard as built-in controls, and the joystick count.
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>

#include <initializer_list>

#include "platform/input.h"
#include "platform/internal.h"
#include "platform/pads.h"
#include "platform/platform.h"
#include "platform/scripted.h"

namespace {

// Starts the platform with a number of scripted joysticks.
void StartScripted(int joysticks) {
    seam_numjoysticks = joysticks;
    Platform_Init();
}

// Pad 0's direction after one update with extra pad 0's stick at (x, y).
uint8_t StickDir(int16_t x, int16_t y) {
    seam_axis[1][0] = x;
    seam_axis[1][1] = y;
    Platform_ControlPadUpdate();
    return controlpad[0].dir;
}

// Pad 0's direction after one update with exactly the given keys held.
uint8_t KeysDir(std::initializer_list<int> keys) {
    memset(seam_key, 0, sizeof seam_key);
    for (int k : keys)
        seam_key[k] = 1;
    Platform_ControlPadUpdate();
    return controlpad[0].dir;
}

TEST(Pads, AxisZonesAndDiagonals) {
    StartScripted(2);
    EXPECT_EQ(StickDir(0, 0), 255);
    EXPECT_EQ(StickDir(-7000, 7000), 255);
    EXPECT_EQ(StickDir(7000, -7000), 255);
    EXPECT_EQ(StickDir(-7001, 0), 6);
    EXPECT_EQ(StickDir(7001, 0), 2);
    EXPECT_EQ(StickDir(0, -7001), 0);
    EXPECT_EQ(StickDir(0, 7001), 4);
    EXPECT_EQ(StickDir(7001, 7001), 3);
    EXPECT_EQ(StickDir(-7001, -7001), 7);
    EXPECT_EQ(StickDir(7001, -7001), 1);
    EXPECT_EQ(StickDir(-32768, 32767), 5);
}

TEST(Pads, BuiltinMergedWithExtraPadZero) {
    StartScripted(2);
    // Built-in up replaces the extra stick's right.
    seam_axis[1][0] = 7001;
    seam_button[0][0] = 1;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].dir, 0);

    // START from either source.
    seam_button[0][0] = 0;
    seam_button[1][8] = 1;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].dir, 2);
    EXPECT_EQ(controlpad[0].button[8], 1);
    seam_button[1][8] = 0;
    seam_button[0][8] = 1;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].button[8], 1);
    seam_button[0][8] = 0;

    // Extra pad button j is logical j; built-in console buttons by the table.
    const int console_of_logical[10] = {12, 14, 13, 15, 10, 11, 17, 16, 8, 9};
    for (int j = 0; j < 10; j++) {
        memset(seam_button, 0, sizeof seam_button);
        seam_button[1][j] = 1;
        Platform_ControlPadUpdate();
        for (int k = 0; k < 10; k++)
            EXPECT_EQ(controlpad[0].button[k], k == j) << "extra button " << j;
        memset(seam_button, 0, sizeof seam_button);
        seam_button[0][console_of_logical[j]] = 1;
        Platform_ControlPadUpdate();
        for (int k = 0; k < 10; k++)
            EXPECT_EQ(controlpad[0].button[k], k == j) << "built-in button " << j;
    }
    EXPECT_EQ(controlpad[0].button[10], 0);
    EXPECT_EQ(controlpad[0].button[11], 0);
}

TEST(Pads, BuiltinDirectionsHighestWins) {
    StartScripted(1);
    // Console d-pad buttons 0..7 run counter-clockwise from up.
    const uint8_t dir_of_button[8] = {0, 7, 6, 5, 4, 3, 2, 1};
    for (int b = 0; b < 8; b++) {
        memset(seam_button, 0, sizeof seam_button);
        seam_button[0][b] = 1;
        Platform_ControlPadUpdate();
        EXPECT_EQ(controlpad[0].dir, dir_of_button[b]) << "button " << b;
    }
    memset(seam_button, 0, sizeof seam_button);
    seam_button[0][0] = 1; // up
    seam_button[0][2] = 1; // left
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].dir, 6);
    // Stick axes of the built-in joystick are never read.
    memset(seam_button, 0, sizeof seam_button);
    seam_axis[0][0] = 30000;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].dir, 255);
}

TEST(Pads, EdgesAndNewDirection) {
    StartScripted(1);
    // Up held from the very first update: the zeroed record already says up.
    seam_button[0][0] = 1;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].dir, 0);
    EXPECT_EQ(controlpad[0].newdir, 255);
    // Up to up-right, then held, then released.
    seam_button[0][7] = 1;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].newdir, 1);
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].newdir, 255);
    seam_button[0][0] = seam_button[0][7] = 0;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].dir, 255);
    EXPECT_EQ(controlpad[0].newdir, 255);
    seam_button[0][4] = 1;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].newdir, 4);

    // A held for ten frames: one press edge, then a new edge after release.
    seam_button[0][12] = 1;
    for (int f = 0; f < 10; f++) {
        Platform_ControlPadUpdate();
        EXPECT_EQ(controlpad[0].button[0], 1);
        EXPECT_EQ(controlpad[0].pressed[0], f == 0 ? 1 : 0) << "frame " << f;
        EXPECT_EQ(controlpad[0].lastbutton[0], 1);
    }
    seam_button[0][12] = 0;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].pressed[0], 0);
    EXPECT_EQ(controlpad[0].lastbutton[0], 0);
    seam_button[0][12] = 1;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].pressed[0], 1);
}

TEST(Pads, ExtraPadsFeedTheirRecords) {
    StartScripted(3);
    seam_axis[2][1] = 8000; // joystick 2 is extra pad 1
    seam_button[2][3] = 1;
    seam_axis[3][0] = 8000; // joystick 3 is not opened with three joysticks
    seam_button[3][3] = 1;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[1].dir, 4);
    EXPECT_EQ(controlpad[1].newdir, 4);
    EXPECT_EQ(controlpad[1].button[3], 1);
    EXPECT_EQ(controlpad[1].pressed[3], 1);
    EXPECT_EQ(controlpad[0].button[3], 0);
    EXPECT_EQ(controlpad[2].dir, 0);
    EXPECT_EQ(controlpad[2].newdir, 255);
    EXPECT_EQ(controlpad[2].button[3], 0);
    EXPECT_EQ(controlpad[2].pressed[3], 0);
}

TEST(Pads, JoystickCountsAndNames) {
    StartScripted(1);
    EXPECT_EQ(Platform_Gamepads, 0);
    EXPECT_NE(gp2xjoy, nullptr);
    EXPECT_EQ(joy0, nullptr);
    EXPECT_STREQ(controlpad[0].name, "scripted pad 0");

    StartScripted(3);
    EXPECT_EQ(Platform_Gamepads, 2);
    EXPECT_NE(joy0, nullptr);
    EXPECT_NE(joy1, nullptr);
    EXPECT_EQ(joy2, nullptr);
    EXPECT_STREQ(controlpad[0].name, "scripted pad 1");
    EXPECT_STREQ(controlpad[1].name, "scripted pad 2");
    EXPECT_STREQ(controlpad[2].name, "");

    StartScripted(7);
    EXPECT_EQ(Platform_Gamepads, 6);
    EXPECT_NE(joy3, nullptr);
    EXPECT_STREQ(controlpad[3].name, "scripted pad 4");
    // Four extra pads are read however many are counted.
    seam_axis[4][0] = -8000;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[3].dir, 6);
}

TEST(Pads, NoJoystickAtAll) {
    StartScripted(0);
    EXPECT_EQ(Platform_Gamepads, 0);
    EXPECT_EQ(gp2xjoy, nullptr);
    EXPECT_STREQ(controlpad[0].name, "");
    // Nothing is read from absent joysticks; the keyboard still plays.
    seam_button[0][0] = 1;
    seam_button[0][8] = 1;
    seam_axis[1][0] = 8000;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].dir, 255);
    EXPECT_EQ(controlpad[0].button[8], 0);
    seam_key[SDLK_ESCAPE] = 1;
    seam_key[SDLK_LEFT] = 1;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].dir, 6);
    EXPECT_EQ(controlpad[0].button[8], 1);
    EXPECT_EQ(controlpad[0].pressed[8], 1);
}

TEST(Pads, NameCutToFit) {
    char name[PAD_NAME_SIZE + 8];
    memset(name, 'x', sizeof name);
    char longname[400];
    memset(longname, 'a', sizeof longname - 1);
    longname[sizeof longname - 1] = 0;
    CopyPadName(name, longname);
    EXPECT_EQ(strlen(name), 255u);
    EXPECT_EQ(name[PAD_NAME_SIZE], 'x');
    CopyPadName(name, NULL);
    EXPECT_STREQ(name, "");
    CopyPadName(name, "Pad");
    EXPECT_STREQ(name, "Pad");
}

TEST(Keyboard, ArrowsCombineIntoDiagonals) {
    StartScripted(0);
    EXPECT_EQ(KeysDir({SDLK_UP}), 0);
    EXPECT_EQ(KeysDir({SDLK_RIGHT}), 2);
    EXPECT_EQ(KeysDir({SDLK_DOWN}), 4);
    EXPECT_EQ(KeysDir({SDLK_LEFT}), 6);
    EXPECT_EQ(KeysDir({SDLK_DOWN, SDLK_RIGHT}), 3);
    EXPECT_EQ(KeysDir({SDLK_UP, SDLK_LEFT}), 7);
    EXPECT_EQ(KeysDir({SDLK_UP, SDLK_RIGHT}), 1);
    EXPECT_EQ(KeysDir({SDLK_DOWN, SDLK_LEFT}), 5);
    EXPECT_EQ(KeysDir({SDLK_LEFT, SDLK_RIGHT}), 255);
    EXPECT_EQ(KeysDir({SDLK_UP, SDLK_DOWN, SDLK_LEFT}), 6);
    EXPECT_EQ(KeysDir({SDLK_UP, SDLK_DOWN, SDLK_LEFT, SDLK_RIGHT}), 255);
    // A diagonal held from up counts as a new direction.
    KeysDir({SDLK_UP});
    EXPECT_EQ(KeysDir({SDLK_UP, SDLK_RIGHT}), 1);
    EXPECT_EQ(controlpad[0].newdir, 1);
}

TEST(Keyboard, KeypadAndRoguelikeDirections) {
    StartScripted(1);
    const int keypad[8] = {SDLK_KP8, SDLK_KP9, SDLK_KP6, SDLK_KP3,
                           SDLK_KP2, SDLK_KP1, SDLK_KP4, SDLK_KP7};
    const int rogue[8] = {SDLK_k, SDLK_u, SDLK_l, SDLK_n, SDLK_j, SDLK_b, SDLK_h, SDLK_y};
    for (int d = 0; d < 8; d++) {
        EXPECT_EQ(KeysDir({keypad[d]}), d) << "keypad " << d;
        EXPECT_EQ(KeysDir({rogue[d]}), d) << "roguelike " << d;
    }
    // Separate keys are separate buttons: the higher code wins as on the pad.
    EXPECT_EQ(KeysDir({SDLK_KP8, SDLK_h}), 6);
    // Keys and the built-in joystick add up.
    seam_button[0][4] = 1;
    EXPECT_EQ(KeysDir({SDLK_KP8}), 4);
}

TEST(Keyboard, ButtonKeys) {
    StartScripted(2);
    struct {
        int key;
        int logical;
    } const cases[] = {
        {SDLK_RETURN, 0}, {SDLK_KP_ENTER, 0}, {SDLK_SPACE, 0},    {SDLK_z, 0},
        {SDLK_c, 1},      {SDLK_x, 2},        {SDLK_v, 3},        {SDLK_q, 4},
        {SDLK_e, 5},      {SDLK_MINUS, 6},    {SDLK_KP_MINUS, 6}, {SDLK_PLUS, 7},
        {SDLK_EQUALS, 7}, {SDLK_KP_PLUS, 7},  {SDLK_ESCAPE, 8},   {SDLK_TAB, 9},
    };
    for (const auto &c : cases) {
        KeysDir({c.key});
        for (int k = 0; k < 10; k++)
            EXPECT_EQ(controlpad[0].button[k], k == c.logical) << "key " << c.key;
        EXPECT_EQ(controlpad[0].dir, 255);
    }
    // With an extra pad the keys still override its stick, as the d-pad does.
    seam_axis[1][0] = 8000;
    EXPECT_EQ(KeysDir({}), 2);
    EXPECT_EQ(KeysDir({SDLK_UP}), 0);
}

// SIGINT and SIGTERM end the loop at the next control update, as a window
// close does; a signal the process was started with ignored stays ignored.
TEST(Seam, StopSignalsCaughtUnlessIgnored) {
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_DFL);
    SeamCatchStopSignals();
    struct sigaction action;
    ASSERT_EQ(sigaction(SIGINT, NULL, &action), 0);
    EXPECT_EQ(action.sa_handler, SIG_IGN);
    raise(SIGINT);
    Platform_ControlPadUpdate();
    EXPECT_EQ(seam_signal, 0);
    EXPECT_EQ(GameLoopEnabled, 1);
    raise(SIGTERM);
    EXPECT_EQ(seam_signal, SIGTERM);
    Platform_ControlPadUpdate();
    EXPECT_EQ(GameLoopEnabled, 0);
}

} // namespace

namespace {

// Scripted joysticks can be read without Platform_Init having opened them:
// the built-in controls within the scripted count, extra pads as far as
// Platform_Gamepads says; nothing beyond the count.
TEST(Seam, ScriptedJoysticksWithoutStartUp) {
    seam_numjoysticks = 1;
    seam_button[0][8] = 1; // START
    seam_button[0][6] = 1; // right
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].button[8], 1);
    EXPECT_EQ(controlpad[0].pressed[8], 1);
    EXPECT_EQ(controlpad[0].dir, 2);

    seam_numjoysticks = 2;
    Platform_Gamepads = 1;
    memset(seam_button, 0, sizeof seam_button);
    seam_axis[1][1] = 8000;
    seam_button[1][0] = 1;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].dir, 4);
    EXPECT_EQ(controlpad[0].button[0], 1);

    seam_numjoysticks = 0;
    Platform_Gamepads = 0;
    seam_button[0][8] = 1;
    Platform_ControlPadUpdate();
    EXPECT_EQ(controlpad[0].button[8], 0);
    EXPECT_EQ(controlpad[0].dir, 255);
}

} // namespace
