// Field of view inside the server: the visibility grid vis around a creature.
#ifndef MD_WORLD_FOV_H
#define MD_WORLD_FOV_H

#define VIS_SIDE 15  // vis is VIS_SIDE x VIS_SIDE, indexed a * VIS_SIDE + b
#define VIS_CENTRE 7 // the creature's own cell is (VIS_CENTRE, VIS_CENTRE)

// Fills vis for a creature at (px, py) on level z with sight s (0..MAX_SIGHT)
// over rings 1 .. s + 1: 2 seen and sight passes, 1 seen but sight stops,
// 0 hidden. inside: every cell of those rings lies in the level, and base is
// CELL(px, py, z); then no cell is tested for it.
void FovPass(int px, int py, int z, int s, bool inside, int base);

#endif
