// Test fonts: BMP files written byte by byte, so every header field, the row
// padding and the bottom-up row order are under the test's control.
#ifndef MD_TESTS_CONSOLE_FONTBMP_H
#define MD_TESTS_CONSOLE_FONTBMP_H

#include <stdint.h>

#include <random>
#include <string>
#include <vector>

inline void Put16(std::string &s, uint32_t v) {
    s += (char)(v & 255);
    s += (char)((v >> 8) & 255);
}

inline void Put32(std::string &s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// An uncompressed BMP of w x h pixels at 8 or 24 bits per pixel. pixels holds
// one value per pixel (a palette index, or a grey level at 24 bits), top row
// first.
inline std::string MakeBmp(int w, int h, const std::vector<uint8_t> &pixels, int bpp = 8) {
    int bytes = bpp / 8;
    int pitch = (w * bytes + 3) & ~3;
    int colours = bpp == 8 ? 256 : 0;
    uint32_t offset = 14 + 40 + colours * 4;
    std::string s = "BM";
    Put32(s, offset + pitch * h);
    Put32(s, 0);
    Put32(s, offset);
    Put32(s, 40);
    Put32(s, (uint32_t)w);
    Put32(s, (uint32_t)h);
    Put16(s, 1);
    Put16(s, (uint32_t)bpp);
    Put32(s, 0);
    Put32(s, pitch * h);
    Put32(s, 2835);
    Put32(s, 2835);
    Put32(s, colours);
    Put32(s, 0);
    for (int i = 0; i < colours; i++) {
        // A palette that does not map indices to themselves: the loader must
        // look at the indices only.
        s += (char)(255 - i);
        s += (char)(i * 7);
        s += (char)(i * 13);
        s += (char)0;
    }
    for (int y = h - 1; y >= 0; y--) {
        std::string row;
        for (int x = 0; x < w; x++)
            for (int b = 0; b < bytes; b++)
                row += (char)pixels[y * w + x];
        row.resize(pitch, (char)0x5A);
        s += row;
    }
    return s;
}

// Random font pixels: index `key` at the top-left (the background) and a mix
// of key and several other indices elsewhere, all of which count as ink.
inline std::vector<uint8_t> RandomFontPixels(int w, int h, unsigned seed, uint8_t key = 3) {
    std::mt19937 rng(seed);
    const uint8_t ink[3] = {0, 7, 200};
    std::vector<uint8_t> px(w * h);
    for (auto &p : px)
        p = rng() % 2 ? key : ink[rng() % 3];
    px[0] = key;
    return px;
}

#endif
