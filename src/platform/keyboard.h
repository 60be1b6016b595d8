// Desktop controls: the keyboard acting as the console's built-in controls
// (keyboard.cpp). Only the platform layer and its tests use these.
#ifndef MD_PLATFORM_KEYBOARD_H
#define MD_PLATFORM_KEYBOARD_H

#include <stdint.h>

// Maps this frame's keys (KeyHeld) to console buttons. Two arrows held
// together give the one diagonal between them; opposite arrows cancel.
void KeyboardUpdate();

// Whether console button 0..17 of the built-in controls is held: on joystick
// 0, when there is one, or on the keyboard as of the last KeyboardUpdate.
uint8_t BuiltinButton(int button);

#endif
