// Fuzzes the palette loader through client/palette.cfg. No display is open,
// so the palette hand-over does nothing.
#include <string.h>

#include "console/render.h"
#include "fuzzsupport.h"
#include "game/initall.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    memset(palette, 0, sizeof palette);
    FuzzWriteInput("client/palette.cfg", data, size);
    LoadPalette();
    // Whatever the base colours, every shade level is its base colour scaled
    // by (16 - level) / 16 in each channel.
    for (int i = 1; i < 16; i++)
        for (int j = 0; j < 16; j++)
            for (int ch = 0; ch < 3; ch++)
                FUZZ_CHECK(palette[(16 * i + j) * 3 + ch] == palette[j * 3 + ch] * (16 - i) / 16);
    return 0;
}
