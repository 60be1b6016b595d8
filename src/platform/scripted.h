// The scripted platform driver (scripted.cpp): linked instead of the SDL one
// into the headless runner, the tools and the tests. The clock and the raw
// control state are these globals, set by the program before each frame; the
// display still goes through SDL (its dummy driver when there is no screen).
// It never hands the console back.
#ifndef MD_PLATFORM_SCRIPTED_H
#define MD_PLATFORM_SCRIPTED_H

#include <signal.h>
#include <stdint.h>

#define SEAM_JOYSTICKS 5 // joystick 0 (built-in) and the four extra pads
#ifdef __EMSCRIPTEN__
#define SEAM_KEYS 2048 // Emscripten's SDL numbers keys as SDL 2 does: below 1024 + 512
#else
#define SEAM_KEYS 512 // keyboard state entries, by SDL key number (all below 512)
#endif

extern uint32_t seam_tick;                      // the millisecond tick
extern int seam_numjoysticks;                   // joysticks present
extern uint8_t seam_button[SEAM_JOYSTICKS][32]; // button state per joystick
extern int16_t seam_axis[SEAM_JOYSTICKS][2];    // axes 0 and 1 per joystick
extern uint8_t seam_key[SEAM_KEYS];             // keyboard state by SDL key
extern uint8_t seam_quit;                       // window close requested
extern void (*seam_present_hook)();             // called after each presented frame
extern volatile sig_atomic_t seam_signal;       // SIGINT, SIGTERM or SIGHUP caught, 0 before
extern uint8_t seam_realclock;                  // non-zero: the tick is SDL's real clock

// From now on SIGINT, SIGTERM and SIGHUP are caught instead of ending the process
// (unless the process started with them ignored): the signal is kept in
// seam_signal and the next frame's control update asks the loop to end, as
// a window close does.
void SeamCatchStopSignals();

#endif
