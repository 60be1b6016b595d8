// Building the follow stream on the server.
#include "wire/followstream.h"

#include <string.h>

#include "wire/bytes.h"

FollowStreamState server_stream;

static uint8_t follow_last[MAX_CLIENTS * CLIENT_SLOT]; // the slots as the stream last gave them
static uint32_t follow_mark[FOLLOW_RING]; // stream end after turn t, at t % FOLLOW_RING

void FollowStreamReset() {
    server_stream.length = 0;
    server_stream.full = 0;
    memset(follow_last, 0, sizeof follow_last);
    memset(follow_mark, 0, sizeof follow_mark);
}

// Appends bytes, or marks the stream full when they do not fit.
static void Append(const uint8_t *p, size_t n) {
    if (server_stream.full || n > FOLLOW_STREAM_MAX - server_stream.length) {
        server_stream.full = 1;
        return;
    }
    memcpy(server_stream.bytes + server_stream.length, p, n);
    server_stream.length += (uint32_t)n;
}

void FollowStreamTurn(uint8_t held) {
    uint8_t e[FOLLOW_ENTRY_MAX];
    size_t n = 0;
    e[n++] = held;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        uint8_t *last = follow_last + i * CLIENT_SLOT;
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

void FollowStreamHash(uint64_t hash) {
    uint8_t e[FOLLOW_HASH_SIZE];
    e[0] = FOLLOW_HASH_MARK;
    PutBE64(e + 1, hash);
    Append(e, sizeof e);
}

void FollowStreamMark(uint32_t t) {
    follow_mark[t % FOLLOW_RING] = server_stream.length;
}

uint32_t FollowStreamSendable(uint32_t now, uint32_t delay) {
    if (delay > FOLLOW_DELAY_MAX)
        delay = FOLLOW_DELAY_MAX;
    if (now < delay)
        return 0;
    return delay == 0 ? server_stream.length : follow_mark[(now - delay) % FOLLOW_RING];
}
