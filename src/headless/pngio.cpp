// PNG output and input through libpng's simplified interface.
#include "headless/pngio.h"

#include <errno.h>
#include <png.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

bool WriteIndexedPng(const std::string &path, const uint8_t *pixels, uint32_t width,
                     uint32_t height, const uint8_t *palette, int scale, std::vector<uint8_t> &rgb,
                     std::string &err) {
    if (scale < 1 || scale > PNG_MAX_SCALE) {
        err = "scale must be 1.." + std::to_string(PNG_MAX_SCALE);
        return false;
    }
    uint32_t outw = width * (uint32_t)scale, outh = height * (uint32_t)scale;
    size_t stride = (size_t)outw * 3;
    rgb.resize(stride * outh);
    for (uint32_t y = 0; y < height; y++) {
        uint8_t *row = &rgb[(size_t)y * scale * stride];
        for (uint32_t x = 0; x < width; x++) {
            const uint8_t *colour = palette + 3 * pixels[(size_t)y * width + x];
            for (int i = 0; i < scale; i++)
                memcpy(row + ((size_t)x * scale + i) * 3, colour, 3);
        }
        for (int j = 1; j < scale; j++)
            memcpy(row + j * stride, row, stride);
    }
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = outw;
    image.height = outh;
    image.format = PNG_FORMAT_RGB;
    // Written through a stream of our own: libpng's own file writer deletes
    // the path on failure, a device such as /dev/full included.
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) {
        err = path + ": " + strerror(errno);
        return false;
    }
    bool ok = png_image_write_to_stdio(&image, file, 0, rgb.data(), (png_int_32)stride, NULL);
    if (!ok)
        err = path + ": " + image.message;
    if ((fflush(file) != 0 || ferror(file)) && ok) {
        err = path + ": " + strerror(errno);
        ok = false;
    }
    if (fclose(file) != 0 && ok) {
        err = path + ": " + strerror(errno);
        ok = false;
    }
    // A partly written picture is removed, but only from a regular file.
    struct stat st;
    if (!ok && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        remove(path.c_str());
    return ok;
}

bool ReadPngRgb(const std::string &path, std::vector<uint8_t> &rgb, uint32_t &width,
                uint32_t &height, std::string &err) {
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        err = path + ": " + image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, NULL, rgb.data(), 0, NULL)) {
        err = path + ": " + image.message;
        png_image_free(&image);
        return false;
    }
    width = image.width;
    height = image.height;
    return true;
}
