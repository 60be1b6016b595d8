// STUB: to be filled.
#include "platform/platform.h"
#include "game/globalvar.h"
SDL_Surface *screen;
SDL_Joystick *gp2xjoy;
SDL_Joystick *joy0, *joy1, *joy2, *joy3;
uint16_t Platform_Gamepads;
ControlPad controlpad[4];
const int32_t MAP_KEY[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const int32_t MAP_KEY2X[20] = {0, 7, 6, 5, 4, 3, 2, 1, 12, 14, 13, 15, 10, 11, 17, 16, 8, 9, 18, 18};
const uint8_t angle_detection[9] = {7, 0, 1, 6, 255, 2, 5, 4, 3};
uint16_t fps, fps_done;
uint32_t tickcount, tickcount2;
int gp2x_dev;
volatile uint16_t *MEM_REG;
uint8_t seam_active;
uint32_t seam_tick;
int seam_numjoysticks;
uint8_t seam_button[SEAM_JOYSTICKS][32];
int16_t seam_axis[SEAM_JOYSTICKS][2];
uint8_t seam_key[SDLK_LAST];
uint8_t seam_quit;
void Platform_Init() {}
void RamHack() {}
void Platform_UpdatePalette() {}
void Platform_UpdateScreen() {}
uint32_t Platform_Tick() { return seam_tick; }
void Platform_FpsCounter() {}
void Platform_Delay(unsigned int) {}
void Platform_SoundVolume(unsigned short) {}
void Platform_PlaySound(unsigned int, unsigned short, unsigned short) {}
void Platform_ShutDown() {}
void Platform_ControlPadUpdate() {}
