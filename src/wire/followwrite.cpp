// Building the follow stream on the server.
#include "wire/followstream.h"

#include <string.h>

#include "wire/bytes.h"

FollowStreamState server_stream;

static uint8_t follow_last[MAX_CLIENTS * CLIENT_SLOT]; // the slots as the stream last gave them
static uint64_t follow_mark[FOLLOW_RING]; // stream end after turn t, at t % FOLLOW_RING

// Keeps the snapshot of the world as it stands, the stream at its end.
static void KeepSnapshot(uint64_t hash) {
    FollowSnap &s = server_stream.snaps[(turn / FOLLOW_SNAP_EVERY) % FOLLOW_SNAPS];
    s.size = (uint16_t)SnapshotWrite(s.bytes, follow_last);
    s.held = s.size > 0;
    s.turn = turn;
    s.at = server_stream.length;
    s.hash = hash;
    uint64_t base = server_stream.length;
    for (const FollowSnap &k : server_stream.snaps)
        if (k.held && k.at < base)
            base = k.at;
    server_stream.base = base;
}

void FollowStreamReset() {
    server_stream.length = 0;
    server_stream.base = 0;
    for (FollowSnap &s : server_stream.snaps)
        s.held = 0;
    memset(follow_last, 0, sizeof follow_last);
    memset(follow_mark, 0, sizeof follow_mark);
}

// Appends bytes to the ring.
static void Append(const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; i++)
        server_stream.bytes[(server_stream.length + i) % FOLLOW_STREAM_KEEP] = p[i];
    server_stream.length += n;
}

size_t FollowEncodeTurn(uint8_t held, const uint8_t *now, uint8_t *last, uint8_t *e) {
    size_t n = 0;
    e[n++] = held;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        uint8_t *was = last + i * CLIENT_SLOT;
        const uint8_t *is = now + i * CLIENT_SLOT;
        if (!(held & (1 << i))) {
            memset(was, 0, CLIENT_SLOT);
            continue;
        }
        int changed = 0;
        for (int b = 0; b < CLIENT_SLOT; b++)
            changed += is[b] != was[b];
        if (changed > FOLLOW_PAIRS_MAX) {
            e[n++] = FOLLOW_WHOLE;
            memcpy(e + n, is, CLIENT_SLOT);
            n += CLIENT_SLOT;
        } else {
            e[n++] = (uint8_t)changed;
            for (int b = 0; b < CLIENT_SLOT; b++)
                if (is[b] != was[b]) {
                    e[n++] = (uint8_t)b;
                    e[n++] = is[b];
                }
        }
        memcpy(was, is, CLIENT_SLOT);
    }
    return n;
}

void FollowStreamTurn(uint8_t held) {
    uint8_t e[FOLLOW_ENTRY_MAX];
    Append(e, FollowEncodeTurn(held, net_client_msg, follow_last, e));
}

void FollowStreamHash(uint64_t hash) {
    uint8_t e[FOLLOW_HASH_SIZE];
    e[0] = FOLLOW_HASH_MARK;
    PutBE64(e + 1, hash);
    Append(e, sizeof e);
}

void FollowStreamMark(uint32_t t, uint64_t hash) {
    follow_mark[t % FOLLOW_RING] = server_stream.length;
    if (FollowSnapDue(t))
        KeepSnapshot(hash);
}

uint64_t FollowStreamSendable(uint32_t now, uint32_t delay) {
    if (delay > FOLLOW_DELAY_MAX)
        delay = FOLLOW_DELAY_MAX;
    if (now < delay)
        return 0;
    return delay == 0 ? server_stream.length : follow_mark[(now - delay) % FOLLOW_RING];
}

const FollowSnap *FollowStreamStart(uint32_t now, uint32_t delay) {
    if (delay > FOLLOW_DELAY_MAX)
        delay = FOLLOW_DELAY_MAX;
    uint32_t upto = now < delay ? 0 : now - delay;
    const FollowSnap *best = NULL;
    for (const FollowSnap &s : server_stream.snaps)
        if (s.held && s.turn <= upto && (!best || s.turn > best->turn))
            best = &s;
    return best;
}

void FollowStreamCopy(uint64_t at, size_t n, uint8_t *out) {
    for (size_t i = 0; i < n; i++)
        out[i] = server_stream.bytes[(at + i) % FOLLOW_STREAM_KEEP];
}
