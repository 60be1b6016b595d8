// Tile definitions: glyph, colour, blocking value and name of each tile
// number, from data/tiledata.cfg.
#include <stdio.h>

#include "resources/tiles.h"
#include "resources/tokens.h"

// State declared in tiles.h.
uint8_t tiletypes;
uint8_t tilechar[256];
uint8_t tilecolor[256];
uint8_t tileblock[256];
char tilename[256][32];

#define TILE_FILE "data/tiledata.cfg"
#define TILE_HEADER 5  // header tokens skipped before the first entry
#define TILE_TOKEN 256 // header and code token buffer
#define TILE_ENTRIES 256

void LoadTiles() {
    char code[TILE_TOKEN];
    int entries = 0;
    int colour = 0;
    tiletypes = 0;
    FILE *f = OpenResource(TILE_FILE);
    if (f) {
        for (int i = 0; i < TILE_HEADER; i++)
            ReadToken(f, code, TILE_TOKEN);
        int len;
        while (entries < TILE_ENTRIES && (len = ReadToken(f, code, TILE_TOKEN)) > 0) {
            ReadToken(f, tilename[entries], (int)sizeof tilename[entries]);
            unsigned char glyph = (unsigned char)code[0];
            unsigned char c2 = len > 1 ? (unsigned char)code[1] : 0;
            unsigned char c3 = len > 2 ? (unsigned char)code[2] : 0;
            int v = HexValue(c2);
            if (v >= 0)
                colour = v;
            tilechar[entries] = glyph;
            tilecolor[entries] = (uint8_t)colour;
            tileblock[entries] = (uint8_t)(c3 - 48);
            entries++;
        }
        fclose(f);
    }
    tiletypes = (uint8_t)(entries < 255 ? entries : 255);
    tilechar[0] = ' ';
}
