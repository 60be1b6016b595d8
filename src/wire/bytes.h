// Big-endian fields of records and on-line messages, read and stored byte by
// byte so that no field needs to be aligned.
#ifndef MD_WIRE_BYTES_H
#define MD_WIRE_BYTES_H

#include <stdint.h>

// Big-endian 16-bit value at p.
inline uint16_t GetBE16(const uint8_t *p) {
    return (uint16_t)((p[0] << 8) | p[1]);
}

// Stores v big-endian in the 2 bytes at p.
inline void PutBE16(uint8_t *p, uint16_t v) {
    p[0] = (uint8_t)(v >> 8);
    p[1] = (uint8_t)v;
}

// Big-endian 32-bit value at p.
inline uint32_t GetBE32(const uint8_t *p) {
    return ((uint32_t)GetBE16(p) << 16) | GetBE16(p + 2);
}

// Stores v big-endian in the 4 bytes at p.
inline void PutBE32(uint8_t *p, uint32_t v) {
    PutBE16(p, (uint16_t)(v >> 16));
    PutBE16(p + 2, (uint16_t)v);
}

// Big-endian 64-bit value at p.
inline uint64_t GetBE64(const uint8_t *p) {
    return ((uint64_t)GetBE32(p) << 32) | GetBE32(p + 4);
}

// Stores v big-endian in the 8 bytes at p.
inline void PutBE64(uint8_t *p, uint64_t v) {
    PutBE32(p, (uint32_t)(v >> 32));
    PutBE32(p + 4, (uint32_t)v);
}

#endif
