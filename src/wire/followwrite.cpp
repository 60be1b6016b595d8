// Building the spectator stream on the server.
#include "wire/followstream.h"

#include <string.h>

#include "wire/bytes.h"

uint8_t spec_stream[SPEC_STREAM_MAX];
uint32_t spec_length;
uint8_t spec_full;

static uint8_t spec_last[MAX_CLIENTS * CLIENT_SLOT]; // the slots as the stream last gave them
static uint32_t spec_mark[SPEC_RING];                // stream end after turn t, at t % SPEC_RING

void SpecStreamReset() {
    spec_length = 0;
    spec_full = 0;
    memset(spec_last, 0, sizeof spec_last);
    memset(spec_mark, 0, sizeof spec_mark);
}

// Appends bytes, or marks the stream full when they do not fit.
static void Append(const uint8_t *p, size_t n) {
    if (spec_full || n > SPEC_STREAM_MAX - spec_length) {
        spec_full = 1;
        return;
    }
    memcpy(spec_stream + spec_length, p, n);
    spec_length += (uint32_t)n;
}

void SpecStreamTurn(uint8_t held) {
    uint8_t e[SPEC_ENTRY_MAX];
    size_t n = 0;
    e[n++] = held;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        uint8_t *last = spec_last + i * CLIENT_SLOT;
        if (!(held & (1 << i))) {
            memset(last, 0, CLIENT_SLOT);
            continue;
        }
        const uint8_t *now = net_client_msg + i * CLIENT_SLOT;
        size_t count_at = n++;
        uint8_t changed = 0;
        for (int b = 0; b < CLIENT_SLOT; b++)
            if (now[b] != last[b]) {
                e[n++] = (uint8_t)b;
                e[n++] = now[b];
                last[b] = now[b];
                changed++;
            }
        e[count_at] = changed;
    }
    Append(e, n);
}

void SpecStreamHash(uint64_t hash) {
    uint8_t e[SPEC_HASH_SIZE];
    e[0] = SPEC_HASH_MARK;
    PutBE64(e + 1, hash);
    Append(e, sizeof e);
}

void SpecStreamMark(uint32_t t) {
    spec_mark[t % SPEC_RING] = spec_length;
}

uint32_t SpecStreamSendable(uint32_t now, uint32_t delay) {
    if (delay > SPEC_DELAY_MAX)
        delay = SPEC_DELAY_MAX;
    if (now < delay)
        return 0;
    return delay == 0 ? spec_length : spec_mark[(now - delay) % SPEC_RING];
}
