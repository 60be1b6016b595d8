// Whole decimal numbers read from options, addresses and scripts.
#include "resources/number.h"

bool ParseNumber(const char *text, uint64_t lo, uint64_t hi, uint64_t *value) {
    if (!text || !*text)
        return false;
    uint64_t v = 0;
    for (const char *c = text; *c; c++) {
        if (*c < '0' || *c > '9')
            return false;
        uint64_t digit = (uint64_t)(*c - '0');
        if (digit > hi || v > (hi - digit) / 10) // v * 10 + digit would pass hi
            return false;
        v = v * 10 + digit;
    }
    if (v < lo)
        return false;
    *value = v;
    return true;
}
