// FNV-1a hashes: the world hash, the data hash and the record checks, and the
// headless runner's frame hash.
#ifndef MD_MATH_FNV_H
#define MD_MATH_FNV_H

#include <stddef.h>
#include <stdint.h>

#define FNV64_START 0xcbf29ce484222325ull
#define FNV64_PRIME 0x100000001b3ull
#define FNV32_START 0x811c9dc5u
#define FNV32_PRIME 0x01000193u

// Adds n bytes to a running FNV-1a 64 h (FNV64_START for a new hash).
inline uint64_t Fnv64(uint64_t h, const uint8_t *p, size_t n) {
    for (size_t i = 0; i < n; i++) {
        h ^= p[i];
        h *= FNV64_PRIME;
    }
    return h;
}

// FNV-1a 32 of n bytes.
inline uint32_t Fnv32(const uint8_t *p, size_t n) {
    uint32_t h = FNV32_START;
    for (size_t i = 0; i < n; i++)
        h = (h ^ p[i]) * FNV32_PRIME;
    return h;
}

#endif
