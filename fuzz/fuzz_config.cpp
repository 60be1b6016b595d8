// Fuzzes the client configuration loader through client/client.cfg.
#include <string>

#include "client/config.h"
#include "console/render.h"
#include "fuzzsupport.h"
#include "game/initall.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Screen_Width = Screen_Height = FullScreen = 0;
    FuzzWriteInput("client/client.cfg", data, size);
    LoadConfig();
    FUZZ_CHECK(Screen_Width == 320 && Screen_Height == 240);
    // The flag is the third number as the same conversion reads it from the
    // bytes in memory (up to a zero byte, where the file's scan stops too),
    // 0 when the file has no third number.
    std::string text((const char *)data, size);
    int w = 0, h = 0, full = 0;
    sscanf(text.c_str(), "%d %d %d", &w, &h, &full);
    FUZZ_CHECK(FullScreen == (uint16_t)full);
    return 0;
}
