// Table random numbers and integer angle helpers. Angles run 0..4095 to the
// full turn; tangents are scaled so that 1.0 is 256 (tables.h).
#ifndef MD_MATH_ZMATH_H
#define MD_MATH_ZMATH_H

#include <stdint.h>

extern const uint8_t table_rnd[1024]; // the fixed random sequence
extern uint16_t rnd_seed;             // read position in table_rnd, 0..1023

// Each takes the next byte of table_rnd (advancing rnd_seed, wrapping at
// 1024; a position set past the table reads within it) and returns its low
// bits. One stream serves every caller and is never seeded.
unsigned int random2(); // 0..1
unsigned int random8(); // 0..7
// Fixed interface of the random stream; nothing in the game calls these yet.
unsigned int random4();   // 0..3
unsigned int random16();  // 0..15
unsigned int random32();  // 0..31
unsigned int random64();  // 0..63
unsigned int random128(); // 0..127
unsigned int random256(); // 0..255

// Fixed interface of the angle helpers; nothing in the game calls these yet.
// arctan: angle of the vector (x, y) from +x toward +y, 0..4096, by a binary
// search of f_tan; (0, y) gives 1024 for y >= 0 and 3072 below. Exact for
// |y| < 2^19 and |y| <= 127 * |x|; outside, the result is still defined.
uint16_t arctan(int x, int y);
int16_t SuperAngle(int a);      // any angle into 0..4095, from its low 16 bits
int calcturn(int from, int to); // signed turn from one angle to another, -2048..2048
int fastrange(int a, int b);    // length of (a, b) in the maximum norm

// Absolute value; the most negative int wraps to itself instead of
// overflowing.
int zabs(int a);

#endif
