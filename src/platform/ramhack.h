// Handheld detection and its memory-timing registers (ramhack.cpp). Only the
// platform layer and its tests use these.
#ifndef MD_PLATFORM_RAMHACK_H
#define MD_PLATFORM_RAMHACK_H

#include <stdint.h>

#define HANDHELD_MENU_DIR "/usr/gp2x"      // the console's menu program: its folder
#define HANDHELD_MENU "/usr/gp2x/gp2xmenu" // and the program

extern int gp2x_dev;               // memory device while the timing is set
extern volatile uint16_t *MEM_REG; // mapped register window, kept after start-up

// Sets the console's memory timing. Anywhere but on the handheld the step is
// skipped and /dev/mem is never opened; a failed open or mapping skips the
// writes. The mapping stays in place.
void RamHack();

// True only on the console itself: an ARM build, running on the ARM920T
// core, with the console's menu program installed. The timing step and the
// hand-back to the menu run only there.
bool Platform_IsHandheld();

// Whether the cpuinfo file at path names the ARM920T core; false when it
// cannot be read.
bool CpuInfoNamesHandheldCore(const char *path);

// The timing writes into a mapped register window, nibble by nibble, each
// reading the register afresh: 0x3804 bits 8-11, 4-7, 0-3, then 0x3802 bits
// 12-15, 8-11, 4-7, 0-3.
void RamHackRegisters(volatile uint16_t *window);

#endif
