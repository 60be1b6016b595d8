// Fuzzes the player's token files. The input, as a token file, gives a token
// exactly when it is one token line ("marrowdigger-token ", sixteen
// lowercase hexadecimal digits, a line end), and that token; anything else
// gives none. A token kept with SaveToken comes back whole. The input, as a
// server's host name, names a token file inside the state folder, with a
// name of at most 80 harmless characters, or none when it does not fit.
//
// Input: the file's bytes; the host name is the input up to its first zero.
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "fuzzsupport.h"
#include "net/tokenfile.h"

#define MARK "marrowdigger-token "
#define STATE "/fuzz-state"

// The token the file holds by its format, or 0 when it is no token line.
static uint64_t TokenOf(const uint8_t *data, size_t size) {
    size_t mark = strlen(MARK);
    if (size != mark + 17 || memcmp(data, MARK, mark) != 0 || data[size - 1] != '\n')
        return 0;
    uint64_t t = 0;
    for (size_t i = mark; i < size - 1; i++) {
        const char *digits = "0123456789abcdef";
        const char *d = data[i] ? strchr(digits, data[i]) : NULL;
        if (!d)
            return 0;
        t = t << 4 | (uint64_t)(d - digits);
    }
    return t;
}

// The token file of the host named by the input, in a buffer of `room`
// bytes.
static void CheckPath(const uint8_t *data, size_t size, size_t room) {
    std::string host((const char *)data, strnlen((const char *)data, size));
    char path[512];
    int seat = 1 + (int)(size % 4);
    if (!TokenPath(host.c_str(), (uint16_t)size, seat, path, room))
        return;
    std::string base = STATE "/marrowdigger/server-";
    FUZZ_CHECK(strlen(path) < room && strncmp(path, base.c_str(), base.size()) == 0);
    std::string name = path + base.size();
    FUZZ_CHECK(name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                      "0123456789.-_") == std::string::npos);
    std::string end = "-" + std::to_string(size % 65536) +
                      (seat > 1 ? "-" + std::to_string(seat) : std::string());
    FUZZ_CHECK(name.size() >= end.size() && name.size() - end.size() <= 80 &&
               name.compare(name.size() - end.size(), end.size(), end) == 0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    setenv("XDG_STATE_HOME", STATE, 1);
    FuzzWriteInput("client/token", data, size);
    uint64_t token = LoadToken("fuzz", "client/token");
    FUZZ_CHECK(token == TokenOf(data, size));

    // Kept as a new file each run, which a file system writes out lazily.
    uint64_t kept = token;
    for (size_t i = 0; i < 8 && i < size; i++)
        kept = kept * 251 + data[i];
    unlink("client/kept");
    FUZZ_CHECK(SaveToken("fuzz", "client/kept", kept));
    FUZZ_CHECK(LoadToken("fuzz", "client/kept") == kept);

    CheckPath(data, size, 512);
    CheckPath(data, size, 20 + size % 100);
    return 0;
}
