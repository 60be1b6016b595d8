// Fuzzes the tile definition loader through data/tiledata.cfg.
#include <string.h>

#include "fuzzsupport.h"
#include "game/initall.h"
#include "resources/tiles.h"

// White space that separates the file's tokens.
static bool IsBlank(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    tiletypes = 0;
    memset(tilechar, 0, sizeof tilechar);
    memset(tilecolor, 0, sizeof tilecolor);
    memset(tileblock, 0, sizeof tileblock);
    memset(tilename, 0, sizeof tilename);
    FuzzWriteInput("data/tiledata.cfg", data, size);
    LoadTiles();
    FUZZ_CHECK(tilechar[0] == ' ');
    // The count saturates at 255, so only a smaller count tells exactly how
    // many entries there are.
    int entries = tiletypes < 255 ? tiletypes : 256;
    for (int t = 0; t < 256; t++) {
        const char *name = tilename[t];
        const char *end = (const char *)memchr(name, 0, 32);
        FUZZ_CHECK(end != nullptr); // at most 31 characters and a terminator
        for (const char *p = name; p < end; p++)
            FUZZ_CHECK(!IsBlank((uint8_t)*p)); // a name is one token
        FUZZ_CHECK(name[31] == 0);             // a name token keeps at most 31 bytes
        FUZZ_CHECK(tilecolor[t] < 16);         // a base colour, shade level 0
        if (t > 0 && t < entries)
            FUZZ_CHECK(!IsBlank(tilechar[t])); // a glyph is a token's first character
        if (t >= entries) {
            // An entry the file does not define keeps its zero start values.
            FUZZ_CHECK(t == 0 || tilechar[t] == 0);
            FUZZ_CHECK(tilecolor[t] == 0 && tileblock[t] == 0 && name[0] == 0);
        }
    }
    return 0;
}
