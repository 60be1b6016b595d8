// PNG files of frames in a build without libpng (the WebAssembly build):
// asking for one fails with one line, so a run that wanted screenshots
// ends with status 1 while its trace is written in full.
#include "headless/pngio.h"

bool WriteIndexedPng(const std::string &path, const uint8_t *, uint32_t, uint32_t, const uint8_t *,
                     int, std::vector<uint8_t> &, std::string &err) {
    err = "cannot write " + path + ": this build has no PNG support";
    return false;
}

bool ReadPngRgb(const std::string &path, std::vector<uint8_t> &, uint32_t &, uint32_t &,
                std::string &err) {
    err = "cannot read " + path + ": this build has no PNG support";
    return false;
}
