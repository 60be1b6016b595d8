// Bitmap font: one 8-bit image of 16 x 16 glyph cells, keyed by its top-left pixel.
#ifndef MD_CONSOLE_SFONT_H
#define MD_CONSOLE_SFONT_H

void s_initfont();

#endif
