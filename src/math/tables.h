// Sine, cosine and tangent tables: 4096 units to the turn.
#ifndef MD_MATH_TABLES_H
#define MD_MATH_TABLES_H

#include <stdint.h>

extern int32_t f_sin[4096]; // 65536 * sin, rounded
extern int32_t f_cos[4096]; // 65536 * cos, rounded
extern int32_t f_tan[1025]; // 256 * tan for angles 0..1024, 0x0FFFFFFF for infinite

// Fills the three tables; called once at start-up, before any angle helper.
void LoadTables();

#endif
