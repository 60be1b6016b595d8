// The platform's own state behind platform.h: the display surface, the
// joystick handles and the frame-rate counter. Only the platform layer and
// its tests use it.
#ifndef MD_PLATFORM_INTERNAL_H
#define MD_PLATFORM_INTERNAL_H

#include <SDL/SDL.h>
#include <stdint.h>

extern SDL_Surface *screen;                     // the display surface
extern SDL_Joystick *gp2xjoy;                   // joystick 0, the built-in controls
extern SDL_Joystick *joy0, *joy1, *joy2, *joy3; // joysticks 1..4, extra pads 0..3
extern uint16_t fps;                            // frames counted in the last period
extern uint16_t fps_done;                       // frames counted in the current period
extern uint32_t tickcount, tickcount2;          // tick of the last count, start of the period

#endif
