// Bitmap font: one 8-bit image of 16 x 16 glyph cells, keyed by its top-left pixel.
#ifndef MD_CONSOLE_SFONT_H
#define MD_CONSOLE_SFONT_H

extern char font_error[256]; // why the last LoadFont refused its file, one line

// Loads and checks the font image at path and, when it is usable, sets
// fontx, fonty, fontdata, charx and chary. Returns 0 on success; otherwise
// leaves the font as it was, writes the reason to font_error and returns
// non-zero.
int LoadFont(const char *path);

// Loads font/font.bmp; a font that cannot be used ends the run with one line
// on stderr and exit status 1.
void s_initfont();

#endif
