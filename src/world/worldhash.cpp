// The hashes that tie a record to its data and prove that a replay, a
// follower or another machine reached the same world, and the hash lines
// the programs print.
#include "world/worldhash.h"

#include <stdio.h>
#include <string.h>

#include "math/fnv.h"
#include "math/zmath.h"
#include "world/world.h"

// Powers of the FNV-1a 64 prime: a zero byte only multiplies the hash by
// the prime, so a run of k zero bytes multiplies it by the prime to the k.
struct PrimePowers {
    uint64_t small[256]; // prime^k for k < 256
    uint64_t bit[64];    // prime^(2^i)
};

static constexpr PrimePowers MakePowers() {
    PrimePowers p{};
    p.small[0] = 1;
    for (int k = 1; k < 256; k++)
        p.small[k] = p.small[k - 1] * FNV64_PRIME;
    p.bit[0] = FNV64_PRIME;
    for (int i = 1; i < 64; i++)
        p.bit[i] = p.bit[i - 1] * p.bit[i - 1];
    return p;
}

static constexpr PrimePowers powers = MakePowers();

// The hash after k more zero bytes.
static uint64_t SkipZeros(uint64_t h, size_t k) {
    if (k < 256)
        return h * powers.small[k];
    for (int i = 0; k != 0; i++, k >>= 1)
        if (k & 1)
            h *= powers.bit[i];
    return h;
}

// Zero bytes at the start of p (n bytes), counted in whole units of `unit`
// bytes (1 or 2), eight bytes at a time where it can.
static size_t ZeroRun(const uint8_t *p, size_t n, size_t unit) {
    size_t z = 0;
    for (uint64_t v; z + 8 <= n && (memcpy(&v, p + z, 8), v == 0);)
        z += 8;
    while (z + unit <= n && p[z] == 0 && p[z + unit - 1] == 0)
        z += unit;
    return z;
}

// Fnv64 for blocks that are mostly zeros: runs of zeros go at once, the
// bytes between them through Fnv64.
static uint64_t Fnv64Sparse(uint64_t h, const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n;) {
        size_t zeros = ZeroRun(p + i, n - i, 1);
        h = SkipZeros(h, zeros);
        i += zeros;
        size_t end = i;
        while (end < n && p[end] != 0)
            end++;
        h = Fnv64(h, p + i, end - i);
        i = end;
    }
    return h;
}

// Adds 16-bit values to the hash, low byte first, whatever the machine; runs
// of zero values go at once.
static uint64_t Fnv64Words(uint64_t h, const uint16_t *w, size_t n) {
    for (size_t i = 0; i < n;) {
        size_t zeros = ZeroRun((const uint8_t *)(w + i), 2 * (n - i), 2);
        h = SkipZeros(h, zeros);
        i += zeros / 2;
        if (i < n) {
            const uint8_t bytes[2] = {(uint8_t)w[i], (uint8_t)(w[i] >> 8)};
            h = Fnv64(h, bytes, 2);
            i++;
        }
    }
    return h;
}

// Adds a whole file to the hash, then a marker, so that moving bytes from
// one file to the other changes the hash; a missing file adds nothing.
static uint64_t HashFile(uint64_t h, const char *path) {
    FILE *f = fopen(path, "rb");
    if (f) {
        uint8_t buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0)
            h = Fnv64Sparse(h, buf, n);
        fclose(f);
    }
    const uint8_t mark = 0xFF;
    return Fnv64Sparse(h, &mark, 1);
}

uint64_t DataHash() {
    return HashFile(HashFile(FNV64_START, "data/maptest.map"), "data/tiledata.cfg");
}

uint64_t WorldHash() {
    uint64_t h = Fnv64Sparse(FNV64_START, map, sizeof map);
    h = Fnv64Words(h, mapsizex, WORLD_LEVELS);
    h = Fnv64Words(h, mapsizey, WORLD_LEVELS);
    h = Fnv64Words(h, npc_vis, WORLD_CELLS);
    h = Fnv64Words(h, (const uint16_t *)npc_x, MAX_NPCS);
    h = Fnv64Words(h, (const uint16_t *)npc_y, MAX_NPCS);
    h = Fnv64Words(h, (const uint16_t *)npc_z, MAX_NPCS);
    const uint8_t *bytes[] = {npc_enabled, npc_playercontrol, npc_move, npc_sight,
                              npc_char,    npc_color,         npc_str,  npc_dex,
                              npc_con,     npc_int,           npc_wis,  npc_cha};
    for (const uint8_t *b : bytes)
        h = Fnv64Sparse(h, b, MAX_NPCS);
    uint16_t words[4] = {npcs, (uint16_t)turn, (uint16_t)(turn >> 16), rnd_seed};
    return Fnv64Words(h, words, 4);
}

void HashLine() {
    HashLineOf(WorldHash());
}

void HashLineOf(uint64_t hash) {
    printf("turn %u hash %016llx\n", turn, (unsigned long long)hash);
}

void FinalHashLine(int every) {
    if (turn == 0 || every <= 0 || turn % (uint32_t)every != 0)
        HashLine();
}
