// Palette: sixteen base colours from client/palette.cfg and their shades.
#ifndef MD_CLIENT_PALETTE_H
#define MD_CLIENT_PALETTE_H

// Reads the sixteen base colours (six hex digits each, blue, green, red) into
// palette, fills shade level i of each with every channel times (16 - i) / 16
// and hands the palette to the display. A token longer than 7 characters is
// cut there, its rest dropped; a digit that is no hex digit, or missing from
// a short token, keeps the value decoded last for its position. When the file
// runs out of tokens the last one is decoded again for the remaining colours;
// a missing, unreadable or empty file gives the built-in colours.
void LoadPalette();

#endif
