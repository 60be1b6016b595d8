// Platform layer, as the game sees it: the control pads and the calls that
// start the platform, present frames, keep time and shut down. The platform
// (src/platform/) is the only code that talks to SDL and the operating
// system; its own state lives in its internal headers (internal.h, pads.h,
// ramhack.h). The clock, the raw controls and the hand-back come from a
// driver chosen when a program is linked (input.h).
#ifndef MD_PLATFORM_PLATFORM_H
#define MD_PLATFORM_PLATFORM_H

#include <stdint.h>

// One pad record: direction, buttons and their edges.
struct ControlPad {
    uint8_t dir;            // direction code 0..7, 255 none
    uint8_t newdir;         // direction entered in this update, else 255
    uint8_t button[12];     // logical buttons 0..9: 1 held
    uint8_t pressed[12];    // 1 only in the update the button went down
    uint8_t lastbutton[12]; // button as it was after the previous update
    char name[256];         // SDL name of the joystick feeding the pad
};

extern ControlPad controlpad[4];   // the four pad records
extern uint16_t Platform_Gamepads; // number of extra pads (joysticks beyond the first)

// Starts the platform: memory timing (on the handheld only), SDL, the 320 x
// 240 8-bit display (cleared) and the joysticks. Joystick 0 is the built-in
// controls, joysticks 1..4 the extra pads; each pad record takes the name of
// the joystick feeding it. The window is titled with the game's name. A
// display that cannot be opened ends the run with one line on stderr and
// exit status 1, and so does, unless SDL_VIDEODRIVER names a driver, SDL
// falling back to one that shows nothing because no display is reachable.
void Platform_Init();

// Checks, before anything joins a server, that the display Platform_Init
// will open is reachable (unless SDL_VIDEODRIVER names a driver); false
// after the same one line Platform_Init would give.
bool Platform_CheckDisplay();

// Game driver only: catches SIGINT, SIGTERM and SIGHUP (each unless started
// ignored), so that the next control update ends the frame loop as a window
// close does and an on-line game says its goodbye.
void Platform_CatchStopSignals();

// Game driver only: the stop signal caught so far, 0 none.
int Platform_StopSignal();

// Hands the 256 palette entries to the display surface.
void Platform_UpdatePalette();

// Presents the frame: scrbuf (Screen_Width bytes a row) into the display,
// cut to both, then the flip; does nothing before Platform_Init.
void Platform_UpdateScreen();

// The millisecond tick, 32-bit and wrapping; defined by the driver (input.h).
uint32_t Platform_Tick();

// Counts one frame; once more than a second has passed since the period
// began, fps takes the period's count and a new period begins.
void Platform_FpsCounter();

// Waits the given number of milliseconds.
void Platform_Delay(unsigned int ms);

// Fixed interface of the sound; the game makes no sound.
void Platform_SoundVolume(unsigned short volume); // sets nothing
// Plays nothing; only s_channel advances, cycling 1, 2. Nothing calls it yet.
void Platform_PlaySound(unsigned int sound, unsigned short a, unsigned short b);

// Shuts SDL down and hands the console back to its menu program, which
// replaces the process on the handheld only. Elsewhere, or when that fails,
// it returns.
void Platform_ShutDown();

// Sets the window's title-bar icon: the player glyph of the loaded font in
// the loaded palette's colours (window.h). Call once the font and the
// palette are loaded.
void Platform_SetWindowIcon();

// Refreshes every pad record from the controls' current state, with the new
// direction and the press edges against the previous update. The built-in
// controls (joystick 0 and the keyboard) feed pad 0, merged with extra pad
// 0; their direction buttons override its stick, the highest held code
// winning. A window close seen here clears GameLoopEnabled.
void Platform_ControlPadUpdate();

// The frame loop
extern uint32_t count;          // frames completed
extern uint8_t GameLoopEnabled; // frame loop runs while non-zero (1)

// Sound settings (no sound is produced)
extern uint8_t s_channel; // sound channel counter, cycles 1, 2
extern uint8_t volume;    // sound volume setting
extern uint8_t SoundMode; // sound mode setting

#endif
