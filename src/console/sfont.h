// Bitmap font: one 8-bit image of 16 x 16 glyph cells, keyed by its top-left pixel.
#ifndef MD_CONSOLE_SFONT_H
#define MD_CONSOLE_SFONT_H

#include <stdint.h>

extern char font_error[256]; // why the last LoadFont refused its file, one line

// Loads and checks the font image at path: a regular file (never waiting on
// a FIFO or reading a device without end), 8 bits per pixel, at least 16 x 16
// and at most 65536 pixels. A usable image sets fontx, fonty, fontdata, charx
// and chary, replacing a font loaded before, and gives 0; otherwise the font
// stays as it was, font_error holds the reason and the result is non-zero.
int LoadFont(const char *path);

// Loads font/font.bmp; a font that cannot be used ends the run with one line
// on stderr and exit status 1.
void s_initfont();

// The loaded font
extern uint8_t fontdata[65536]; // font image, 1 ink / 0 background per pixel
extern uint16_t fontx, fonty;   // font image size in pixels
extern uint16_t charx, chary;   // glyph cell size in pixels

#endif
