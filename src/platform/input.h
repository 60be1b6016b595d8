// The platform's driver interface: raw control state (joystick buttons and
// axes, keys, the window-close request), the millisecond clock, the hook
// after each presented frame and the hand-back at exit. Two drivers define
// it, chosen when a program is linked: sdlinput.cpp (SDL and the console,
// linked into the game) and scripted.cpp (scripted state, linked into the
// headless runner, the tools and the tests). Only the platform layer uses
// these.
#ifndef MD_PLATFORM_INPUT_H
#define MD_PLATFORM_INPUT_H

#include <SDL/SDL.h>
#include <stdint.h>

#include "platform/buttons.h" // BTN_* numbers of the built-in controls

// Defined by each driver (Platform_Tick, declared in platform.h, too).
int JoystickCount();                               // joysticks present, never negative
SDL_Joystick *OpenJoystick(int index, char *name); // opens one, copies its name
uint8_t PollInput();                               // refreshes the raw state; 1: quit asked
int16_t JoyAxis(int joystick, int axis);           // axis of joystick 0..4, 0 when absent
uint8_t JoyButton(int joystick, int button);       // button of joystick 0..4, 0 when absent
uint8_t KeyHeld(int key);                          // SDL key held in (or pressed during) this frame
void FramePresented();                             // after each frame reaches the display
void HandBack();                                   // at exit, after SDL has shut down
// Both drivers share JoyHandle and CopyPadName (pads.h).

// The SDL driver only: whether a key is held for a desktop action (the
// full-screen switch), which KeyHeld hides from the game.
uint8_t KeyTaken(int key);

#endif
