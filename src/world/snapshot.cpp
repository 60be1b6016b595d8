// World snapshots: written compactly, read back with every field checked
// before anything changes.
#include "world/snapshot.h"

#include <string.h>

#include "math/zmath.h"

static_assert(WORLD_CELLS < (1 << 24), "a cell takes three bytes");

// Big-endian fields, byte by byte.
static uint8_t *Put(uint8_t *p, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; i--)
        *p++ = (uint8_t)(v >> (8 * i));
    return p;
}

static uint32_t Get(const uint8_t *p, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++)
        v = (v << 8) | p[i];
    return v;
}

size_t SnapshotWrite(uint8_t *out, const uint8_t *slots) {
    uint8_t *p = Put(out, turn, 4);
    p = Put(p, rnd_seed, 2);
    p = Put(p, npcs, 2);
    uint8_t *count = p;
    p += 2;
    uint32_t n = 0;
    for (int i = 0; i < MAX_NPCS; i++) {
        if (!npc_enabled[i])
            continue;
        p = Put(p, (uint32_t)i, 2);
        p = Put(p, (uint16_t)npc_x[i], 2);
        p = Put(p, (uint16_t)npc_y[i], 2);
        *p++ = npc_move[i];
        n++;
    }
    Put(count, n, 2);
    count = p;
    p += 2;
    uint32_t m = 0;
    for (uint32_t cell = 0; cell < WORLD_CELLS; cell++) {
        // Runs of empty cells go four at a time.
        for (uint64_t v; cell + 4 <= WORLD_CELLS && (memcpy(&v, npc_vis + cell, 8), v == 0);)
            cell += 4;
        if (cell >= WORLD_CELLS || npc_vis[cell] == 0)
            continue;
        if (++m > MAX_NPCS)
            return 0;
        p = Put(p, cell, 3);
        p = Put(p, npc_vis[cell], 2);
    }
    Put(count, m, 2);
    uint8_t *mask = p++;
    *mask = 0;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        const uint8_t *slot = slots + i * CLIENT_SLOT;
        bool zero = true;
        for (int b = 0; b < CLIENT_SLOT; b++)
            zero = zero && slot[b] == 0;
        if (zero)
            continue;
        *mask |= (uint8_t)(1 << i);
        memcpy(p, slot, CLIENT_SLOT);
        p += CLIENT_SLOT;
    }
    return (size_t)(p - out);
}

// Checks the whole snapshot; false at the first fault.
static bool Check(const uint8_t *p, size_t n) {
    if (n < 12 || Get(p + 4, 2) > 1023 || Get(p + 6, 2) > MAX_NPCS)
        return false;
    size_t at = 8;
    uint32_t creatures = Get(p + at, 2);
    at += 2;
    if (creatures > MAX_NPCS || n - at < creatures * SNAPSHOT_CREATURE + 2)
        return false;
    uint32_t enabled = 0;
    for (int i = 0; i < MAX_NPCS; i++)
        enabled += npc_enabled[i] != 0;
    if (creatures != enabled)
        return false;
    int last = -1;
    for (uint32_t k = 0; k < creatures; k++, at += SNAPSHOT_CREATURE) {
        int i = (int)Get(p + at, 2);
        if (i <= last || i >= MAX_NPCS || !npc_enabled[i])
            return false;
        last = i;
    }
    uint32_t cells = Get(p + at, 2);
    at += 2;
    if (cells > MAX_NPCS || n - at < cells * SNAPSHOT_CELL + 1)
        return false;
    long prev = -1;
    for (uint32_t k = 0; k < cells; k++, at += SNAPSHOT_CELL) {
        uint32_t cell = Get(p + at, 3), who = Get(p + at + 3, 2);
        if ((long)cell <= prev || cell >= WORLD_CELLS || who == 0 || who > MAX_NPCS)
            return false;
        prev = (long)cell;
    }
    uint8_t mask = p[at++];
    if (mask >> MAX_CLIENTS)
        return false;
    size_t given = 0;
    for (int i = 0; i < MAX_CLIENTS; i++)
        given += (mask >> i) & 1;
    return n - at == given * CLIENT_SLOT;
}

bool SnapshotRestore(const uint8_t *p, size_t n, uint8_t *slots) {
    if (!Check(p, n))
        return false;
    turn = Get(p, 4);
    rnd_seed = (uint16_t)Get(p + 4, 2);
    npcs = (uint16_t)Get(p + 6, 2);
    uint32_t creatures = Get(p + 8, 2);
    size_t at = 10;
    for (uint32_t k = 0; k < creatures; k++, at += SNAPSHOT_CREATURE) {
        int i = (int)Get(p + at, 2);
        npc_x[i] = (int16_t)Get(p + at + 2, 2);
        npc_y[i] = (int16_t)Get(p + at + 4, 2);
        npc_move[i] = p[at + 6];
    }
    uint32_t cells = Get(p + at, 2);
    at += 2;
    memset(npc_vis, 0, sizeof npc_vis);
    for (uint32_t k = 0; k < cells; k++, at += SNAPSHOT_CELL)
        npc_vis[Get(p + at, 3)] = (uint16_t)Get(p + at + 3, 2);
    uint8_t mask = p[at++];
    for (int i = 0; i < MAX_CLIENTS; i++) {
        uint8_t *slot = slots + i * CLIENT_SLOT;
        if (mask & (1 << i)) {
            memcpy(slot, p + at, CLIENT_SLOT);
            at += CLIENT_SLOT;
        } else {
            memset(slot, 0, CLIENT_SLOT);
        }
    }
    return true;
}
