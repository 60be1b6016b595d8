// Palette: sixteen base colours from client/palette.cfg and their fifteen
// darker shade levels, handed to the display.
#include <stdint.h>

#include "client/palette.h"
#include "console/render.h"
#include "platform/platform.h"
#include "resources/errorline.h"
#include "resources/tokens.h"

#define PALETTE_FILE "client/palette.cfg"
#define PALETTE_TOKEN 8 // token buffer: at most 7 characters of a token

// Used when the palette file is missing, unreadable or holds no colour:
// sixteen base colours as blue-green-red tokens, like the file's.
static const char default_tokens[16][PALETTE_TOKEN] = {
    "000000", "CCF2FF", "F8DCD0", "18A8FF", "88A8B8", "94A4B0", "F88838", "40B878",
    "B07020", "D8C878", "3880C8", "D0E0E4", "608096", "487818", "80B8D0", "5454FF"};

// Decodes one token into base colour n. Characters 0..5 are the high and low
// digits of blue, green and red. A character that is no digit, and a position
// past the end of a short token, leaves its digit at the value decoded last
// for its kind (high or low); digit[] carries that across channels and tokens.
static void DecodeColour(int n, const char *token, int len, int digit[2]) {
    int value[6];
    for (int pos = 0; pos < 6; pos++) {
        int v = pos < len ? HexValue((unsigned char)token[pos]) : -1;
        if (v >= 0)
            digit[pos & 1] = v;
        value[pos] = digit[pos & 1];
    }
    palette[n * 3 + 0] = (uint8_t)(value[4] * 16 + value[5]); // red
    palette[n * 3 + 1] = (uint8_t)(value[2] * 16 + value[3]); // green
    palette[n * 3 + 2] = (uint8_t)(value[0] * 16 + value[1]); // blue
}

// Shade level i of base colour j is each channel times (16 - i) / 16.
static void BuildShades() {
    for (int i = 1; i < 16; i++)
        for (int j = 0; j < 16; j++)
            for (int ch = 0; ch < 3; ch++)
                palette[(16 * i + j) * 3 + ch] = (uint8_t)(palette[j * 3 + ch] * (16 - i) / 16);
}

// When the file runs out of tokens, the buffer keeps the last token, which is
// decoded again for each remaining colour.
void LoadPalette() {
    char token[PALETTE_TOKEN] = {0};
    int len = 0;
    int digit[2] = {0, 0}; // last decoded high and low digit; 0 before any
    FILE *f = OpenResource(PALETTE_FILE);
    int tokens = 0;
    if (f) {
        for (int n = 0; n < 16; n++) {
            int got = ReadToken(f, token, PALETTE_TOKEN);
            if (got > 0) {
                len = got;
                tokens++;
            }
            if (tokens == 0)
                break;
            DecodeColour(n, token, len, digit);
        }
        fclose(f);
        if (tokens == 0)
            ErrorLine("%s holds no colour, using the built-in palette", PALETTE_FILE);
    }
    if (tokens == 0) {
        digit[0] = digit[1] = 0;
        for (int n = 0; n < 16; n++)
            DecodeColour(n, default_tokens[n], 6, digit);
    }
    BuildShades();
    Platform_UpdatePalette();
}
