// Raw control state for the pad update: joystick buttons and axes, keys and
// the window-close request, read from SDL or, in tests, from the scripted
// seam globals. Only the platform layer uses these.
#ifndef MD_PLATFORM_INPUT_H
#define MD_PLATFORM_INPUT_H

#include <SDL/SDL.h>
#include <stdint.h>

// Console button numbers of the built-in controls (SDL joystick 0).
#define BTN_UP 0
#define BTN_UPLEFT 1
#define BTN_LEFT 2
#define BTN_DOWNLEFT 3
#define BTN_DOWN 4
#define BTN_DOWNRIGHT 5
#define BTN_RIGHT 6
#define BTN_UPRIGHT 7
#define BTN_START 8
#define BTN_SELECT 9
#define BTN_L 10
#define BTN_R 11
#define BTN_A 12
#define BTN_B 13
#define BTN_X 14
#define BTN_Y 15
#define BTN_VOLUP 16
#define BTN_VOLDOWN 17
#define BUILTIN_BUTTONS 18

#define PAD_NAME_SIZE 256 // bytes of the name field of a pad record

int JoystickCount();                               // joysticks present
SDL_Joystick *OpenJoystick(int index, char *name); // opens one, copies its name
void CopyPadName(char *dst, const char *src);      // name cut to fit, NULL as empty
uint8_t PollInput();                               // refreshes the raw state; 1: window closed
int16_t JoyAxis(int joystick, int axis);           // axis of joystick 0..4, 0 when absent
uint8_t JoyButton(int joystick, int button);       // button of joystick 0..4, 0 when absent
uint8_t KeyHeld(int key);                          // SDL key held in this frame
void KeyboardUpdate();                             // maps this frame's keys to console buttons
uint8_t BuiltinButton(int button);                 // built-in button held: joystick 0 or keys

#endif
