// Field of view inside the server: the visibility grid vis around a creature.
#ifndef MD_WORLD_FOV_H
#define MD_WORLD_FOV_H

#include <stdint.h>

#define VIS_SIDE 15  // vis is VIS_SIDE x VIS_SIDE, indexed a * VIS_SIDE + b
#define VIS_CENTRE 7 // the creature's own cell is (VIS_CENTRE, VIS_CENTRE)
#define MAX_SIGHT 6  // widest sight, and widest view the window tables hold

// Fills vis for a creature at (px, py) on level z with sight s (0..MAX_SIGHT)
// over rings 1 .. s + 1: 2 seen and sight passes, 1 seen but sight stops,
// 0 hidden. inside: every cell of those rings lies in the level, and base is
// CELL(px, py, z); then no cell is tested for it.
void FovPass(int px, int py, int z, int s, bool inside, int base);

// Steps toward the centre of vis from each of its cells, y-major.
extern const int8_t vis_dirx[225]; // x step
extern const int8_t vis_diry[225]; // y step

// Work areas of the field of view
extern int8_t vis[225]; // 15 x 15 visibility grid, x-major

#endif
