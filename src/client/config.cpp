// Client configuration and the sound entry point.
#include <stdint.h>
#include <stdio.h>

#include "client/config.h"
#include "console/render.h"
#include "platform/platform.h"
#include "resources/tokens.h"

// State declared in config.h.
uint16_t FullScreen;

// Reads one decimal number as the "%d" conversion does: white space, an
// optional sign, then digits up to the first other byte, which stays in the
// stream. The value saturates at the limits of 64 bits instead of being
// buffered, so a run of digits of any length costs no memory. False when no
// digit follows; what was read is then dropped.
static bool ReadNumber(FILE *f, int64_t *value) {
    int c = getc(f);
    while (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r')
        c = getc(f);
    bool negative = c == '-';
    if (c == '-' || c == '+')
        c = getc(f);
    if (c < '0' || c > '9')
        return false;
    const uint64_t limit = (uint64_t)INT64_MAX + 1; // the magnitude of INT64_MIN
    uint64_t magnitude = 0;
    for (; c >= '0' && c <= '9'; c = getc(f))
        if (magnitude <= (limit - (uint64_t)(c - '0')) / 10)
            magnitude = magnitude * 10 + (uint64_t)(c - '0');
        else
            magnitude = limit;
    if (c != EOF)
        ungetc(c, f);
    if (negative)
        *value = magnitude == limit ? INT64_MIN : -(int64_t)magnitude;
    else
        *value = magnitude >= limit ? INT64_MAX : (int64_t)magnitude;
    return true;
}

void LoadConfig() {
    int64_t number[3] = {320, 240, 0};
    FILE *f = OpenResource("client/client.cfg");
    if (f) {
        int got = 0;
        while (got < 3 && ReadNumber(f, &number[got]))
            got++;
        fclose(f);
    }
    Screen_Width = (uint16_t)number[0];
    Screen_Height = (uint16_t)number[1];
    FullScreen = (uint16_t)number[2];
    Screen_Width = 320;
    Screen_Height = 240;
}

void SaveConfig() {}

void initsounds() {
    Platform_SoundVolume(volume);
}
