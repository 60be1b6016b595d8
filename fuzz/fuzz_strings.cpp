// Fuzzes the string table loader through data/str.dat.
#include <string.h>

#include "fuzzsupport.h"
#include "game/initall.h"
#include "resources/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    memset(str_item, 0, sizeof str_item);
    FuzzWriteInput("data/str.dat", data, size);
    LoadStrings();
    // Every slot keeps at most 63 bytes, none a quote: its last byte stays
    // the terminator. (A zero byte inside quotes is stored like any other.)
    for (int n = 0; n < 256; n++) {
        FUZZ_CHECK(str_item[n][63] == 0);
        FUZZ_CHECK(memchr(str_item[n], '\'', 64) == nullptr);
    }
    return 0;
}
