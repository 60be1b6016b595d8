// Bitmap font: font/font.bmp, an 8-bit image of 16 x 16 glyph cells, reduced
// to one byte per pixel (1 ink, 0 background) keyed by its top-left pixel.
#include "console/sfont.h"

#include <SDL/SDL.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "resources/errorline.h"
#include "resources/tokens.h"

// State declared in sfont.h.
alignas(16) uint8_t fontdata[65536]; // aligned for word-wide glyph rows
uint16_t fontx, fonty;
uint16_t charx, chary;

#define FONT_FILE "font/font.bmp"

#ifndef __EMSCRIPTEN__
static SDL_Surface *font_image; // the loaded image, kept for the whole run
#endif

char font_error[256];

// Records why the font was refused and gives the failure result.
__attribute__((format(printf, 1, 2))) static int FontRefused(const char *format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(font_error, sizeof font_error, format, args);
    va_end(args);
    return 1;
}

#ifdef __EMSCRIPTEN__
// Emscripten's SDL reads images only through the browser, as RGBA: the
// WebAssembly build reads the uncompressed 8-bit BMP file itself, with the
// same limits and the same key (the top-left pixel).
#define FONT_FILE_MAX (1u << 20) // bytes of a font file, at most

// Little-endian fields of the BMP headers.
static uint32_t Le16(const uint8_t *b) {
    return (uint32_t)b[0] | (uint32_t)b[1] << 8;
}
static uint32_t Le32(const uint8_t *b) {
    return Le16(b) | Le16(b + 2) << 16;
}

int LoadFont(const char *path) {
    static uint8_t file[FONT_FILE_MAX];
    char err[sizeof font_error];
    int fd = OpenDataFile(path, err, sizeof err);
    if (fd < 0)
        return FontRefused("%s", err);
    size_t n = 0;
    ssize_t got;
    while (n < sizeof file && (got = read(fd, file + n, sizeof file - n)) > 0)
        n += (size_t)got;
    close(fd);
    if (n == sizeof file)
        return FontRefused("%s is larger than %u bytes", path, FONT_FILE_MAX - 1);
    if (n < 54 || file[0] != 'B' || file[1] != 'M' || Le32(file + 14) < 40)
        return FontRefused("cannot read %s: not a BMP file", path);
    int64_t w = (int32_t)Le32(file + 18), h = (int32_t)Le32(file + 22);
    bool top_down = h < 0;
    h = h < 0 ? -h : h;
    if (Le16(file + 28) != 8)
        return FontRefused("%s is not 8 bits per pixel (%u)", path, Le16(file + 28));
    if (Le32(file + 30) != 0)
        return FontRefused("cannot read %s: compressed BMP", path);
    if (w < 16 || h < 16)
        return FontRefused("%s is smaller than 16 x 16 pixels (%lld x %lld)", path, (long long)w,
                           (long long)h);
    if (w * h > (int64_t)sizeof fontdata)
        return FontRefused("%s is larger than 65536 pixels (%lld x %lld)", path, (long long)w,
                           (long long)h);
    uint64_t pitch = ((uint64_t)w + 3) & ~(uint64_t)3, offset = Le32(file + 10);
    if (offset > n || pitch * (uint64_t)h > n - offset)
        return FontRefused("cannot read %s: the file ends inside its pixels", path);
    fontx = (uint16_t)w;
    fonty = (uint16_t)h;
    const uint8_t *pixels = file + offset;
    uint8_t key = pixels[top_down ? 0 : (h - 1) * pitch];
    for (int64_t y = 0; y < h; y++) {
        const uint8_t *row = pixels + (top_down ? y : h - 1 - y) * pitch;
        for (int64_t x = 0; x < w; x++)
            fontdata[y * fontx + x] = row[x] == key ? 0 : 1;
    }
    charx = fontx / 16;
    chary = fonty / 16;
    return 0;
}
#else
// Image size that a BMP header declares, read before SDL builds the image so
// that a damaged header cannot make it allocate gigabytes for a font that
// would be refused anyway. Reads the file header and the start of the info
// header (16-bit sizes in the 12-byte OS/2 form, signed 32-bit otherwise,
// a negative height meaning top-down rows), then returns to the start of the
// file. Bytes past the end of a short file count as zero, as they do for
// SDL's own reads. False when the file does not start like a BMP file; SDL
// then refuses it.
static bool DeclaredSize(SDL_RWops *rw, int64_t *w, int64_t *h) {
    uint8_t b[26] = {0};
    int got = SDL_RWread(rw, b, 1, sizeof b);
    SDL_RWseek(rw, 0, RW_SEEK_SET);
    if (got < 2 || b[0] != 'B' || b[1] != 'M')
        return false;
    uint32_t header = b[14] | b[15] << 8 | b[16] << 16 | (uint32_t)b[17] << 24;
    if (header == 12) {
        *w = b[18] | b[19] << 8;
        *h = b[20] | b[21] << 8;
    } else {
        *w = (int32_t)(b[18] | b[19] << 8 | b[20] << 16 | (uint32_t)b[21] << 24);
        *h = (int32_t)(b[22] | b[23] << 8 | b[24] << 16 | (uint32_t)b[25] << 24);
    }
    *w = *w < 0 ? -*w : *w;
    *h = *h < 0 ? -*h : *h;
    return true;
}

// The size is checked from the header before SDL reads the pixels.
int LoadFont(const char *path) {
    char err[sizeof font_error];
    int fd = OpenDataFile(path, err, sizeof err);
    if (fd < 0)
        return FontRefused("%s", err);
    FILE *file = fdopen(fd, "rb");
    // SDL_TRUE: SDL closes the file with the stream (an int in SDL 1.2, an
    // SDL_bool in Emscripten's SDL).
    SDL_RWops *rw = file ? SDL_RWFromFP(file, SDL_TRUE) : NULL;
    if (!rw) {
        if (file)
            fclose(file);
        else
            close(fd);
        return FontRefused("cannot open %s: %s", path, SDL_GetError());
    }
    int64_t declared_w, declared_h;
    if (DeclaredSize(rw, &declared_w, &declared_h) &&
        declared_w * declared_h > (int64_t)sizeof fontdata) {
        SDL_RWclose(rw);
        return FontRefused("%s is larger than 65536 pixels (%lld x %lld)", path,
                           (long long)declared_w, (long long)declared_h);
    }
    SDL_Surface *img = SDL_LoadBMP_RW(rw, 1);
    if (!img)
        return FontRefused("cannot read %s: %s", path, SDL_GetError());
    const int w = img->w, h = img->h;
    int refused = 0;
    if (img->format->BytesPerPixel != 1 || img->format->BitsPerPixel != 8)
        refused = FontRefused("%s is not 8 bits per pixel (%d)", path, img->format->BitsPerPixel);
    else if (w < 16 || h < 16)
        refused = FontRefused("%s is smaller than 16 x 16 pixels (%d x %d)", path, w, h);
    else if ((uint64_t)w * (uint64_t)h > sizeof fontdata)
        refused = FontRefused("%s is larger than 65536 pixels (%d x %d)", path, w, h);
    if (refused) {
        SDL_FreeSurface(img);
        return refused;
    }

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
    return 0;
}
#endif

void s_initfont() {
    if (LoadFont(FONT_FILE) == 0)
        return;
    ErrorLine("%s", font_error);
    SDL_Quit();
    exit(1);
}
