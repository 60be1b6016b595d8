// The pads' button maps and the helpers both platform drivers share
// (pads.cpp). Only the platform layer and its tests use these.
#ifndef MD_PLATFORM_PADS_H
#define MD_PLATFORM_PADS_H

#include <SDL/SDL.h>
#include <stdint.h>

#define PAD_NAME_SIZE 256 // bytes of the name field of a pad record

extern const int32_t MAP_KEY[12];        // extra pad: SDL button of logical button j
extern const int32_t MAP_KEY2X[20];      // built-in: buttons of directions 0..7, logical 0..9
extern const uint8_t angle_detection[9]; // direction of the two axis zones

// Handle of joystick 0..4 (the built-in controls, then the extra pads), NULL
// when it is not open or out of range.
SDL_Joystick *JoyHandle(int joystick);

// Copies a joystick name into a pad record's name field, cut to 255
// characters; a NULL name gives the empty string.
void CopyPadName(char *dst, const char *src);

#endif
