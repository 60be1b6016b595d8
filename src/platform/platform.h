// Platform layer: the only code that talks to SDL and the operating system.
// Display, palette hand-over, tick, frame-rate counter, sound entry points,
// memory timing, shutdown and the control pads. The clock, the raw controls
// and the hand-back come from a driver chosen when a program is linked
// (input.h).
#ifndef MD_PLATFORM_PLATFORM_H
#define MD_PLATFORM_PLATFORM_H

#include <SDL/SDL.h>
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

extern SDL_Surface *screen;                     // the display surface
extern SDL_Joystick *gp2xjoy;                   // joystick 0, the built-in controls
extern SDL_Joystick *joy0, *joy1, *joy2, *joy3; // joysticks 1..4, extra pads 0..3
extern uint16_t Platform_Gamepads;              // number of extra pads
extern ControlPad controlpad[4];                // the four pad records
extern const int32_t MAP_KEY[12];               // extra pad: SDL button of logical button j
extern const int32_t MAP_KEY2X[20];      // built-in: buttons of directions 0..7, logical 0..9
extern const uint8_t angle_detection[9]; // direction of the two axis zones
extern uint16_t fps;                     // frames counted in the last period
extern uint16_t fps_done;                // frames counted in the current period
extern uint32_t tickcount, tickcount2;   // tick of the last count, start of the period
extern int gp2x_dev;                     // memory device while the timing is set
extern volatile uint16_t *MEM_REG;       // mapped register window, kept after start-up

void Platform_Init();
void RamHack();
void Platform_UpdatePalette();
void Platform_UpdateScreen();
uint32_t Platform_Tick(); // defined by the driver (input.h)
void Platform_FpsCounter();
void Platform_Delay(unsigned int ms);
void Platform_SoundVolume(unsigned short volume);
void Platform_PlaySound(unsigned int sound, unsigned short a, unsigned short b);
void Platform_ShutDown();
void Platform_ControlPadUpdate();

#define HANDHELD_MENU_DIR "/usr/gp2x"      // the console's menu program: its folder
#define HANDHELD_MENU "/usr/gp2x/gp2xmenu" // and the program

// Handheld detection: true only on the console itself (ARM build, ARM920T
// core, the console's menu program installed). The timing step and the
// hand-back to the menu run only there.
bool Platform_IsHandheld();
bool CpuInfoNamesHandheldCore(const char *path);  // the cpuinfo file names the ARM920T
void RamHackRegisters(volatile uint16_t *window); // the timing writes into a mapped window

#endif
