// Tile definitions from data/tiledata.cfg.
#ifndef MD_RESOURCES_TILES_H
#define MD_RESOURCES_TILES_H

#include <stdint.h>

// Reads five header tokens, then one code token and one name token per tile
// into tilechar, tilecolor, tileblock and tilename, and the count into
// tiletypes. The code's first character is the glyph, its second the base
// colour (a hextodig digit; any other character keeps the colour decoded
// last, 0 before any), its third the blocking value, its code minus '0'. A
// shorter code reads its missing characters as the zero byte that ends it
// (so the colour is kept and the blocking value is (0 - '0') & 255 = 208); characters past the
// third are ignored. Names are cut to 31 characters. Entries past the 256th
// are not read, and the count then stays at 255.
void LoadTiles();

// Tile table, indexed by tile number
extern uint8_t tiletypes;      // number of tile entries read
extern uint8_t tilechar[256];  // glyph of the tile
extern uint8_t tilecolor[256]; // colour byte of the tile
extern uint8_t tileblock[256]; // blocking value; above 4 stops movement and sight
extern char tilename[256][32]; // tile name, zero-terminated

#endif
