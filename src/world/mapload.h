// Map file and server restart: level 0 from the map file, the creatures of a
// new game, and the data the server needs without a display.
#ifndef MD_WORLD_MAPLOAD_H
#define MD_WORLD_MAPLOAD_H

// Loads level 0 from data/maptest.map: one token per row, its leading digits
// the tile numbers of the row's cells. The width comes from the last row, the
// height from the number of rows; rows past 128 and digits past x = 127 are
// not stored, so both sizes stay within 0..127.
void LoadDemoMap();

// Starting state of the server: the map, client slot 0 on creature 0, one
// player creature per client player (at most four) and 46 wanderers on
// (22, 14).
void RestartServer();

void PlaceWanderer(int k); // creature k: an enabled wanderer on the start cell

// Loads what the server turn needs, without a display: the tile table and
// the trigonometric tables; no font, palette or strings.
void LoadServerData();

#define SETUP_RESTART 0 // the restart's creatures only
#define SETUP_ALL 1     // every creature enabled (test option)

// The server's starting world: the real restart with players player
// creatures, slot i bound to creature i, and with SETUP_ALL every other
// creature enabled as a wanderer too.
void StartWorld(int players, int setup);

#endif
