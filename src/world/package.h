// The view package: what the server tells a client each turn about its
// creature's view, and the one contract between server and client.
//
// Layout (SERVER_SLOT bytes in server_msg; PACKAGE_COPY of them reach a slot
// of net_server_msg):
//   0..3  turn number, least significant byte first
//   4     the creature's sight as stored (the view is cut to MAX_SIGHT)
//   5, 6  x and y of the creature, low 8 bits
//   7     its level
//   8..   one colour and glyph pair per window cell inside the level, rows
//         top to bottom, columns left to right; glyph 0 where the cell is
//         not seen; then the six attributes str, dex, con, int, wis, cha
#ifndef MD_WORLD_PACKAGE_H
#define MD_WORLD_PACKAGE_H

#include <stdint.h>

#include "world/fov.h" // MAX_SIGHT

#define PACKAGE_TURN 0  // 4 bytes
#define PACKAGE_SIGHT 4 // 1 byte
#define PACKAGE_X 5     // 1 byte
#define PACKAGE_Y 6     // 1 byte
#define PACKAGE_Z 7     // 1 byte
#define PACKAGE_CELLS 8 // first colour and glyph pair

extern const uint16_t FOV_mask[448]; // window of each sight: [sight][|dy|][|dx|]

// Turn number of a package.
inline int32_t PackageTurn(const uint8_t *pkg) {
    const uint8_t *t = pkg + PACKAGE_TURN;
    return (int32_t)((uint32_t)t[0] | ((uint32_t)t[1] << 8) | ((uint32_t)t[2] << 16) |
                     ((uint32_t)t[3] << 24));
}

// Builds the view package of a creature (0..MAX_NPCS-1; others are ignored)
// in server_msg, laid out as above: the field of view of its sight, cut to
// MAX_SIGHT, decides which window cells are seen; a cell shows the mark of
// the creature standing there, else its tile.
void PreparePackage(unsigned short creature);

#endif
