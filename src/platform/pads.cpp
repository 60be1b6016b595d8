// Control pads: the four pad records, refreshed once a frame from the
// built-in controls (joystick 0 and the keyboard) and up to four extra pads.
#include "platform/pads.h"

#include "platform/input.h"
#include "platform/internal.h"
#include "platform/keyboard.h"
#include "platform/platform.h"

ControlPad controlpad[4];
const int32_t MAP_KEY[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const int32_t MAP_KEY2X[20] = {0,  7,  6,  5,  4,  3,  2, 1, 12, 14,
                               13, 15, 10, 11, 17, 16, 8, 9, 18, 18};
const uint8_t angle_detection[9] = {7, 0, 1, 6, 255, 2, 5, 4, 3};

#define AXIS_DEAD 7000 // axis values within +-7000 count as centred
#define LOGICAL_BUTTONS 10

SDL_Joystick *JoyHandle(int joystick) {
    switch (joystick) {
    case 0:
        return gp2xjoy;
    case 1:
        return joy0;
    case 2:
        return joy1;
    case 3:
        return joy2;
    case 4:
        return joy3;
    }
    return NULL;
}

void CopyPadName(char *dst, const char *src) {
    int i = 0;
    if (src)
        for (; i < PAD_NAME_SIZE - 1 && src[i]; i++)
            dst[i] = src[i];
    dst[i] = 0;
}

// Zone of an axis value: 0 pushed negative, 1 centred, 2 pushed positive.
static int AxisZone(int16_t value) {
    if (value < -AXIS_DEAD)
        return 0;
    if (value > AXIS_DEAD)
        return 2;
    return 1;
}

// Pad record k from extra pad k (SDL joystick k + 1): stick direction and
// logical buttons 0..9.
static void ReadExtraPad(int k) {
    int joystick = k + 1;
    int zone = AxisZone(JoyAxis(joystick, 1)) * 3 + AxisZone(JoyAxis(joystick, 0));
    controlpad[k].dir = angle_detection[zone];
    for (int j = 0; j < LOGICAL_BUTTONS; j++)
        controlpad[k].button[j] = JoyButton(joystick, MAP_KEY[j]);
}

void Platform_ControlPadUpdate() {
    uint8_t quit = PollInput();
    KeyboardUpdate();
    if (quit)
        GameLoopEnabled = 0;

    uint8_t olddir[4];
    for (int p = 0; p < 4; p++) {
        olddir[p] = controlpad[p].dir;
        for (int j = 0; j < LOGICAL_BUTTONS; j++)
            controlpad[p].button[j] = 0;
    }
    controlpad[0].dir = 255;

    if (Platform_Gamepads != 0) {
        for (int k = 0; k < 4 && k < Platform_Gamepads; k++)
            ReadExtraPad(k);
        for (int j = 0; j < LOGICAL_BUTTONS; j++)
            controlpad[0].button[j] |= BuiltinButton(MAP_KEY2X[8 + j]);
    } else {
        for (int j = 0; j < LOGICAL_BUTTONS; j++)
            controlpad[0].button[j] = BuiltinButton(MAP_KEY2X[8 + j]);
    }

    // Built-in direction buttons: the highest held code wins and replaces
    // the stick of extra pad 0.
    for (int j = 0; j < 8; j++)
        if (BuiltinButton(MAP_KEY2X[j]))
            controlpad[0].dir = (uint8_t)j;

    for (int p = 0; p < 4; p++) {
        ControlPad &pad = controlpad[p];
        pad.newdir = pad.dir == olddir[p] ? 255 : pad.dir;
        for (int k = 0; k < LOGICAL_BUTTONS; k++) {
            pad.pressed[k] = pad.lastbutton[k] == 0 && pad.button[k] == 1 ? 1 : 0;
            pad.lastbutton[k] = pad.button[k];
        }
    }
}
