// PNG files of frames: an 8-bit palettised frame written as RGB through its
// palette, optionally scaled up, and PNG files read back as RGB.
#ifndef MD_HEADLESS_PNGIO_H
#define MD_HEADLESS_PNGIO_H

#include <stdint.h>

#include <string>
#include <vector>

#define PNG_MAX_SCALE 8 // largest whole-number enlargement of a screenshot

// Writes width x height palette indices as an RGB PNG, each pixel a
// scale x scale block. rgb is the work buffer (reused across calls).
bool WriteIndexedPng(const std::string &path, const uint8_t *pixels, uint32_t width,
                     uint32_t height, const uint8_t *palette, int scale, std::vector<uint8_t> &rgb,
                     std::string &err);

// Reads a PNG file as 8-bit RGB, three bytes per pixel, row by row.
bool ReadPngRgb(const std::string &path, std::vector<uint8_t> &rgb, uint32_t &width,
                uint32_t &height, std::string &err);

#endif
