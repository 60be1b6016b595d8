// Fuzzes the font loader through font/font.bmp (SDL's BMP reader included).
#include <string.h>

#include "console/sfont.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fontx = fonty = charx = chary = 0;
    memset(fontdata, 0, sizeof fontdata);
    font_error[0] = 0;
    FuzzWriteInput("font/font.bmp", data, size);
    int result = LoadFont("font/font.bmp");
    if (result != 0) {
        // A refused image leaves the font alone and says why.
        FUZZ_CHECK(font_error[0] != 0);
        FUZZ_CHECK(fontx == 0 && fonty == 0 && charx == 0 && chary == 0);
        return 0;
    }
    const uint32_t pixels = (uint32_t)fontx * fonty;
    FUZZ_CHECK(fontx >= 16 && fonty >= 16 && pixels <= sizeof fontdata);
    FUZZ_CHECK(charx == fontx / 16 && chary == fonty / 16);
    FUZZ_CHECK(fontdata[0] == 0); // the top-left pixel is the key colour
    for (uint32_t i = 0; i < sizeof fontdata; i++)
        FUZZ_CHECK(i < pixels ? fontdata[i] <= 1 : fontdata[i] == 0);
    return 0;
}
