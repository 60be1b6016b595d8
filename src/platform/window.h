// The desktop window: its title and icon, the full-screen switch, and
// whether SDL reached a real display. Only the platform layer and its tests
// use it.
#ifndef MD_PLATFORM_WINDOW_H
#define MD_PLATFORM_WINDOW_H

#include <stdint.h>
#include <stdio.h>

#define WINDOW_TITLE "MARROWDIGGER ONLINE (alpha)"
#define WINDOW_ICON_SIDE 48  // icon width and height in pixels, as the installed icon's
#define WINDOW_ICON_GLYPH 64 // '@', the player

// Switches the display between a window and full screen (defined beside the
// display's set-up, in platform.cpp). The game sees nothing of it: the
// surface keeps its size, depth and palette. A display that cannot be set
// again ends the run with one line and exit status 1.
void Platform_ToggleFullScreen();

// Draws glyph code of the loaded font into rgb (WINDOW_ICON_SIDE squared
// pixels, 3 bytes each): its inked part centred and enlarged by whole pixels
// with a pixel of margin around it, ink in base colour 1 on base colour 0.
// False, leaving rgb alone, when the glyph has no ink.
bool DrawGlyphIcon(uint8_t *rgb, int code);

// Whether an SDL video driver draws a picture on a screen: not dummy,
// offscreen or evdev, nor the terminal's text art of caca or aalib, which
// SDL falls back to when no display can be reached.
bool VideoDriverIsReal(const char *driver);

// SDL_Init(flags) with whatever SDL writes to stderr meanwhile kept in
// *noise (NULL when it could not be kept, which leaves it on stderr); true
// when SDL started.
bool SdlInitQuiet(uint32_t flags, FILE **noise);

// Writes the text SdlInitQuiet kept to stderr and closes it; NULL does nothing.
void ReplayNoise(FILE *noise);

#endif
