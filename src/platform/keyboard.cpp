// Desktop controls: the keyboard acts as the console's built-in controls,
// merged into the built-in buttons wherever joystick 0's buttons are read.
#include "platform/keyboard.h"

#include <SDL/SDL.h>
#include <string.h>

#include "platform/input.h"

// Keys that hold one console button each (parallel arrays). The arrow keys
// are not here: they combine into one direction below.
#define KEY_BINDINGS 32
static const int16_t key_sym[KEY_BINDINGS] = {
    SDLK_KP8,    SDLK_KP9,     SDLK_KP6,    SDLK_KP3,     SDLK_KP2,      SDLK_KP1,   SDLK_KP4,
    SDLK_KP7,    SDLK_k,       SDLK_u,      SDLK_l,       SDLK_n,        SDLK_j,     SDLK_b,
    SDLK_h,      SDLK_y,       SDLK_ESCAPE, SDLK_RETURN,  SDLK_KP_ENTER, SDLK_SPACE, SDLK_z,
    SDLK_x,      SDLK_c,       SDLK_v,      SDLK_q,       SDLK_e,        SDLK_TAB,   SDLK_PLUS,
    SDLK_EQUALS, SDLK_KP_PLUS, SDLK_MINUS,  SDLK_KP_MINUS};
static const uint8_t key_button[KEY_BINDINGS] = {
    BTN_UP,     BTN_UPRIGHT, BTN_RIGHT,   BTN_DOWNRIGHT, BTN_DOWN,      BTN_DOWNLEFT, BTN_LEFT,
    BTN_UPLEFT, BTN_UP,      BTN_UPRIGHT, BTN_RIGHT,     BTN_DOWNRIGHT, BTN_DOWN,     BTN_DOWNLEFT,
    BTN_LEFT,   BTN_UPLEFT,  BTN_START,   BTN_A,         BTN_A,         BTN_A,        BTN_A,
    BTN_B,      BTN_X,       BTN_Y,       BTN_L,         BTN_R,         BTN_SELECT,   BTN_VOLUP,
    BTN_VOLUP,  BTN_VOLUP,   BTN_VOLDOWN, BTN_VOLDOWN};

// Console direction button of the arrow keys, indexed by
// (vertical + 1) * 3 + (horizontal + 1), each -1, 0 or +1; 255 for none.
static const uint8_t arrow_button[9] = {BTN_UPLEFT, BTN_UP,       BTN_UPRIGHT, BTN_LEFT,     255,
                                        BTN_RIGHT,  BTN_DOWNLEFT, BTN_DOWN,    BTN_DOWNRIGHT};

static uint8_t key_down[BUILTIN_BUTTONS]; // console buttons held on the keyboard this frame

void KeyboardUpdate() {
    memset(key_down, 0, sizeof key_down);
    int horizontal = KeyHeld(SDLK_RIGHT) - KeyHeld(SDLK_LEFT);
    int vertical = KeyHeld(SDLK_DOWN) - KeyHeld(SDLK_UP);
    uint8_t arrow = arrow_button[(vertical + 1) * 3 + horizontal + 1];
    if (arrow != 255)
        key_down[arrow] = 1;
    for (int i = 0; i < KEY_BINDINGS; i++)
        if (KeyHeld(key_sym[i]))
            key_down[key_button[i]] = 1;
}

uint8_t BuiltinButton(int button) {
    uint8_t key = button >= 0 && button < BUILTIN_BUTTONS ? key_down[button] : 0;
    return JoyButton(0, button) | key;
}
