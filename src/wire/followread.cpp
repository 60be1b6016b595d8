// Reading the follow stream on a follower.
#include "wire/followstream.h"

#include <string.h>

#include "wire/bytes.h"

int FollowStreamDecode(const uint8_t *p, size_t n, int players, uint8_t *slots, bool *is_hash,
                       uint64_t *hash) {
    if (n == 0)
        return FOLLOW_NEED_MORE;
    if (p[0] == FOLLOW_HASH_MARK) {
        if (n < FOLLOW_HASH_SIZE)
            return FOLLOW_NEED_MORE;
        *is_hash = true;
        *hash = GetBE64(p + 1);
        return FOLLOW_HASH_SIZE;
    }
    uint8_t held = p[0];
    if (players < 1 || players > MAX_CLIENTS || (held >> players) != 0)
        return FOLLOW_BAD;
    // Checked whole before any slot changes, so a bad entry leaves them be.
    size_t at = 1;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        if (!(held & (1 << i)))
            continue;
        if (at >= n)
            return FOLLOW_NEED_MORE;
        uint8_t k = p[at++];
        if (k > FOLLOW_PAIRS_MAX && k != FOLLOW_WHOLE)
            return FOLLOW_BAD;
        size_t size = k == FOLLOW_WHOLE ? CLIENT_SLOT : 2u * k;
        if (n - at < size)
            return FOLLOW_NEED_MORE;
        for (int j = 0; k != FOLLOW_WHOLE && j < k; j++)
            if (p[at + 2 * j] >= CLIENT_SLOT)
                return FOLLOW_BAD;
        at += size;
    }
    at = 1;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        uint8_t *slot = slots + i * CLIENT_SLOT;
        if (!(held & (1 << i))) {
            memset(slot, 0, CLIENT_SLOT);
            continue;
        }
        uint8_t k = p[at++];
        if (k == FOLLOW_WHOLE) {
            memcpy(slot, p + at, CLIENT_SLOT);
            at += CLIENT_SLOT;
            continue;
        }
        for (int j = 0; j < k; j++, at += 2)
            slot[p[at]] = p[at + 1];
    }
    *is_hash = false;
    return (int)at;
}
