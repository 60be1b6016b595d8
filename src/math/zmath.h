// Table random numbers and integer angle helpers.
#ifndef MD_MATH_ZMATH_H
#define MD_MATH_ZMATH_H

#include <stdint.h>

extern const uint8_t table_rnd[1024]; // the fixed random sequence
extern uint16_t rnd_seed;             // read position in table_rnd, 0..1023

unsigned int random2();
unsigned int random4();
unsigned int random8();
unsigned int random16();
unsigned int random32();
unsigned int random64();
unsigned int random128();
unsigned int random256();

uint16_t arctan(int x, int y);
int16_t SuperAngle(int a);
int calcturn(int from, int to);
int fastrange(int a, int b);
int zabs(int a);

#endif
