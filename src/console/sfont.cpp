// Bitmap font: font/font.bmp, an 8-bit image of 16 x 16 glyph cells, reduced
// to one byte per pixel (1 ink, 0 background) keyed by its top-left pixel.
#include "console/sfont.h"

#include <SDL/SDL.h>
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "game/globalvar.h"

#define FONT_FILE "font/font.bmp"

static SDL_Surface *font_image; // the loaded image, kept for the whole run

// A font the game cannot draw with ends the run before the first frame, with
// one line on stderr: the message is printf-style text after the program name.
[[noreturn]] static void FontFailure(const char *format, ...) {
    va_list args;
    va_start(args, format);
    fputs("marrowdigger: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    SDL_Quit();
    exit(1);
}

// Loads the font image and derives the glyph size. The image must be 8 bits
// per pixel, at least 16 x 16 pixels and at most 65536 pixels; anything else
// ends the run with one line on stderr. The image is kept loaded.
void s_initfont() {
    errno = 0;
    SDL_RWops *rw = SDL_RWFromFile(FONT_FILE, "rb");
    if (!rw)
        FontFailure("cannot open %s: %s", FONT_FILE, errno ? strerror(errno) : SDL_GetError());
    SDL_Surface *img = SDL_LoadBMP_RW(rw, 1);
    if (!img)
        FontFailure("cannot read %s: %s", FONT_FILE, SDL_GetError());
    if (img->format->BytesPerPixel != 1 || img->format->BitsPerPixel != 8)
        FontFailure("%s is not 8 bits per pixel (%d)", FONT_FILE, img->format->BitsPerPixel);
    const int w = img->w, h = img->h;
    if (w < 16 || h < 16)
        FontFailure("%s is smaller than 16 x 16 pixels (%d x %d)", FONT_FILE, w, h);
    if ((uint64_t)w * (uint64_t)h > sizeof fontdata)
        FontFailure("%s is larger than 65536 pixels (%d x %d)", FONT_FILE, w, h);

    fontx = (uint16_t)w;
    fonty = (uint16_t)h;
    SDL_LockSurface(img);
    const uint8_t *pixels = (const uint8_t *)img->pixels;
    uint8_t key = pixels[0];
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            fontdata[y * fontx + x] = pixels[y * img->pitch + x] == key ? 0 : 1;
    SDL_UnlockSurface(img);
    // The game loads the font once; a second load (tests) replaces the first.
    if (font_image)
        SDL_FreeSurface(font_image);
    font_image = img;
    charx = fontx / 16;
    chary = fonty / 16;
}
