// The desktop window: whether SDL reached a real display, the window's icon
// drawn from the game's font, and the full-screen toggle.
#include "platform/window.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include "console/render.h"
#include "console/sfont.h"
#include "platform/internal.h"

#define ICON_INK 1        // base colour of the title, the player and the status lines
#define ICON_BACKGROUND 0 // base colour of the empty screen

// Font pixel at an index of fontdata; background past its end.
static uint8_t Ink(uint32_t at) {
    return at < sizeof fontdata ? fontdata[at] : 0;
}

// Video drivers that show no picture on a screen: SDL2's (through
// sdl12-compat) and classic SDL 1.2's, which draws text art in the terminal
// through caca or aalib when it finds no display.
static const char *const unseen_drivers[] = {"dummy", "offscreen", "evdev", "caca", "aalib"};

bool VideoDriverIsReal(const char *driver) {
    if (!driver || !*driver)
        return false;
    for (const char *unseen : unseen_drivers)
        if (strcasecmp(driver, unseen) == 0)
            return false;
    return true;
}

bool SdlInitQuiet(uint32_t flags, FILE **noise) {
    *noise = NULL;
    fflush(stderr);
    FILE *scratch = tmpfile();
    int saved = scratch ? dup(STDERR_FILENO) : -1;
    if (saved >= 0 && dup2(fileno(scratch), STDERR_FILENO) < 0) {
        close(saved);
        saved = -1;
    }
    bool ok = SDL_Init(flags) >= 0;
    if (saved >= 0) {
        fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        *noise = scratch;
    } else if (scratch) {
        fclose(scratch);
    }
    return ok;
}

void ReplayNoise(FILE *noise) {
    if (!noise)
        return;
    rewind(noise);
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, noise)) > 0)
        fwrite(buffer, 1, n, stderr);
    fclose(noise);
}

bool DrawGlyphIcon(uint8_t *rgb, int code) {
    const uint32_t cw = charx, ch = chary, fw = fontx;
    const uint32_t origin = (uint32_t)(code % 16) * cw + (uint32_t)(code / 16) * ch * fw;
    // The glyph's inked rows and columns.
    uint32_t left = cw, right = 0, top = ch, bottom = 0;
    for (uint32_t y = 0; y < ch; y++)
        for (uint32_t x = 0; x < cw; x++) {
            if (!Ink(origin + y * fw + x))
                continue;
            left = x < left ? x : left;
            right = x > right ? x : right;
            top = y < top ? y : top;
            bottom = y > bottom ? y : bottom;
        }
    if (left > right)
        return false;
    const uint32_t w = right - left + 1, h = bottom - top + 1;
    const uint32_t scale = WINDOW_ICON_SIDE / ((w > h ? w : h) + 2);
    if (scale == 0)
        return false;
    const uint32_t x0 = (WINDOW_ICON_SIDE - w * scale) / 2, y0 = (WINDOW_ICON_SIDE - h * scale) / 2;
    for (uint32_t y = 0; y < WINDOW_ICON_SIDE; y++)
        for (uint32_t x = 0; x < WINDOW_ICON_SIDE; x++) {
            bool inked = x >= x0 && y >= y0 && (x - x0) / scale < w && (y - y0) / scale < h &&
                         Ink(origin + (top + (y - y0) / scale) * fw + left + (x - x0) / scale);
            const uint8_t *colour = &palette[3 * (inked ? ICON_INK : ICON_BACKGROUND)];
            memcpy(&rgb[3 * (y * WINDOW_ICON_SIDE + x)], colour, 3);
        }
    return true;
}

void Platform_SetWindowIcon() {
#ifdef __EMSCRIPTEN__
    return; // a page has no window icon, and Emscripten's SDL cannot wrap pixels as a surface
#endif
    static uint8_t rgb[WINDOW_ICON_SIDE * WINDOW_ICON_SIDE * 3];
    if (!DrawGlyphIcon(rgb, WINDOW_ICON_GLYPH))
        return;
        // Red, green and blue bytes in that order, whatever the byte order.
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
    const Uint32 red = 0x0000FF, blue = 0xFF0000;
#else
    const Uint32 red = 0xFF0000, blue = 0x0000FF;
#endif
    SDL_Surface *icon = SDL_CreateRGBSurfaceFrom(rgb, WINDOW_ICON_SIDE, WINDOW_ICON_SIDE, 24,
                                                 WINDOW_ICON_SIDE * 3, red, 0x00FF00, blue, 0);
    if (!icon)
        return;
    SDL_WM_SetIcon(icon, NULL);
    SDL_FreeSurface(icon);
}
