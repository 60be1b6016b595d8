// Building the spectator stream on the server.
#include "wire/spectatorstream.h"

#include <string.h>

#include "wire/bytes.h"

SpectatorStreamState server_stream;

static uint8_t spectator_last[MAX_CLIENTS * CLIENT_SLOT]; // the slots as the stream last gave them
static uint32_t spectator_mark[SPECTATOR_RING]; // stream end after turn t, at t % SPECTATOR_RING

void SpectatorStreamReset() {
    server_stream.length = 0;
    server_stream.full = 0;
    memset(spectator_last, 0, sizeof spectator_last);
    memset(spectator_mark, 0, sizeof spectator_mark);
}

// Appends bytes, or marks the stream full when they do not fit.
static void Append(const uint8_t *p, size_t n) {
    if (server_stream.full || n > SPECTATOR_STREAM_MAX - server_stream.length) {
        server_stream.full = 1;
        return;
    }
    memcpy(server_stream.bytes + server_stream.length, p, n);
    server_stream.length += (uint32_t)n;
}

void SpectatorStreamTurn(uint8_t held) {
    uint8_t e[SPECTATOR_ENTRY_MAX];
    size_t n = 0;
    e[n++] = held;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        uint8_t *last = spectator_last + i * CLIENT_SLOT;
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

void SpectatorStreamHash(uint64_t hash) {
    uint8_t e[SPECTATOR_HASH_SIZE];
    e[0] = SPECTATOR_HASH_MARK;
    PutBE64(e + 1, hash);
    Append(e, sizeof e);
}

void SpectatorStreamMark(uint32_t t) {
    spectator_mark[t % SPECTATOR_RING] = server_stream.length;
}

uint32_t SpectatorStreamSendable(uint32_t now, uint32_t delay) {
    if (delay > SPECTATOR_DELAY_MAX)
        delay = SPECTATOR_DELAY_MAX;
    if (now < delay)
        return 0;
    return delay == 0 ? server_stream.length : spectator_mark[(now - delay) % SPECTATOR_RING];
}
