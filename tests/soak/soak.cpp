// Server soak: runs many server turns with all 1024 creatures enabled, over
// the shipped map and over random maps, and checks the world and the view
// packages after every turn. Stops at the first fault with a description of
// it and exit status 1; otherwise prints one summary line and exits 0.
//
//   marrowdigger-soak [--data DIR] [--turns N] [--maps K] [--seed S] [--quiet]
//                     [--world-hash]
//
// --world-hash prints the world hash of records and replays (WorldHash)
// after the run, the same on every architecture for the same options.
//
// Random maps, creature set-ups and commands come from the soak's own
// generator, so the game's random stream moves only by the game's own draws
// (the check that replays the wanderers' draws puts it back where the turn
// left it).
#include <chrono>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "game/initall.h"
#include "math/zmath.h"
#include "platform/platform.h"
#include "resources/number.h"
#include "resources/tiles.h"
#include "wire/record.h"
#include "world/gameserver.h"
#include "world/world.h"
#include "world/worldhash.h"

#define SOAK_TILES 10        // tile numbers a map may hold, 0..9
#define SOAK_SCAN_EVERY 1000 // turns between full scans of the occupancy grid
#define VIEW_SIDE 15         // the 15 x 15 square around a package's creature
#define VIEW_CENTRE 7
#define CANARY(i) ((uint8_t)(0xA5 ^ (i)))

// Settings from the command line.
static const char *soak_data = nullptr; // data tree to run in
static uint64_t soak_turns = 1000000;   // turns in all
static int soak_maps = 15;              // random maps besides the shipped one
static uint64_t soak_seed = 1;          // seed of the soak's own generator
static int soak_quiet = 0;              // no line per map
static int soak_world_hash = 0;         // print the world's hash after the run

// State of the soak's generator (splitmix64).
static uint64_t gen_state;

// The map being run, for fault messages.
static int map_index;                 // 0 the shipped map, 1.. the random maps
static int extra_level;               // second level filled by a random map, 0 for none
static uint64_t turns_done;           // turns run so far over all maps
static uint8_t slot_cmd[MAX_CLIENTS]; // move code written into each command slot

// Positions before the turn.
static int16_t prev_x[MAX_NPCS], prev_y[MAX_NPCS], prev_z[MAX_NPCS];

// What each served slot's package must show: taken before the turn, since
// the package is built before any creature moves.
static int16_t snap_creature[MAX_CLIENTS]; // creature of the slot, negative for none
static uint32_t snap_turn;                 // turn counter at package time
static int16_t snap_x[MAX_CLIENTS], snap_y[MAX_CLIENTS], snap_z[MAX_CLIENTS];
static uint8_t snap_sight[MAX_CLIENTS];
static uint8_t snap_attr[MAX_CLIENTS][6]; // the six attributes in package order
static uint16_t snap_marks[MAX_CLIENTS][VIEW_SIDE * VIEW_SIDE]; // occupancy, x-major
static uint8_t snap_slot[MAX_CLIENTS][PACKAGE_COPY];            // package bytes of an unserved slot

// The occupancy grid as the movement rules make it, replayed by the soak from
// the positions before and after each turn; it must match npc_vis.
static uint16_t shadow_vis[WORLD_CELLS];
static uint16_t rnd_before; // position of the game's random stream before the turn

// Cell lists used while placing creatures.
static int16_t open_x[WORLD_X * WORLD_Y], open_y[WORLD_X * WORLD_Y];
static int16_t wall_x[WORLD_X * WORLD_Y], wall_y[WORLD_X * WORLD_Y];

// Next 32 random bits of the soak's generator.
static uint32_t GenNext() {
    gen_state += 0x9E3779B97F4A7C15ull;
    uint64_t z = gen_state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return (uint32_t)((z ^ (z >> 31)) >> 32);
}

// A random number 0..n-1 (n > 0).
static int GenBelow(int n) {
    return (int)(((uint64_t)GenNext() * (uint32_t)n) >> 32);
}

// Reports a fault with the turn and the map it happened on and ends the run.
static void Fail(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    fprintf(stderr, "soak: FAULT in soak turn %llu (turn counter %u), map %d (%ux%u%s): ",
            (unsigned long long)turns_done, (unsigned)turn, map_index, mapsizex[0] + 1u,
            mapsizey[0] + 1u, map_index == 0 ? ", shipped" : "");
    vfprintf(stderr, fmt, ap);
    fputc('\n', stderr);
    va_end(ap);
    exit(1);
}

// The soak's own in-level test, kept apart from the server's so that a fault
// there shows: inside the world grid and within the level's largest indexes.
static bool Inside(int x, int y, int z) {
    if (x < 0 || y < 0 || z < 0 || x >= WORLD_X || y >= WORLD_Y || z >= WORLD_LEVELS)
        return false;
    return x <= mapsizex[z] && y <= mapsizey[z];
}

// Blocking value of the tile at a cell inside its level.
static int BlockAt(int x, int y, int z) {
    return tileblock[map[CELL(x, y, z)]];
}

// A random side length 1..128, with the extremes and small sizes often.
static int RandomSide() {
    switch (GenBelow(16)) {
    case 0:
        return 1;
    case 1:
        return WORLD_X;
    case 2:
    case 3:
        return 2 + GenBelow(7);
    default:
        return 1 + GenBelow(WORLD_X);
    }
}

// Fills level z with random tiles 0..9 over a random size; one tile number,
// drawn per level, is made more frequent so levels differ in character.
static void FillLevel(int z) {
    int w = RandomSide(), h = RandomSide();
    int heavy = GenBelow(SOAK_TILES), weight = GenBelow(4);
    for (int x = 0; x < w; x++)
        for (int y = 0; y < h; y++)
            map[CELL(x, y, z)] = (uint8_t)(GenBelow(4) < weight ? heavy : GenBelow(SOAK_TILES));
    mapsizex[z] = (uint16_t)(w - 1);
    mapsizey[z] = (uint16_t)(h - 1);
}

// Gives tiles 0..9 random blocking values: mostly passable ones (0..4), the
// rest stopping movement and sight (5..9 and some large values).
static void RandomBlocking() {
    static const uint8_t stops[] = {5, 6, 9, 208, 255};
    for (int t = 0; t < SOAK_TILES; t++)
        tileblock[t] = GenBelow(3) == 0 ? stops[GenBelow(5)] : (uint8_t)GenBelow(5);
}

// Sets up a random map: level 0 and, every other map, one more level.
static void SetupRandomMap() {
    if (extra_level) {
        mapsizex[extra_level] = 0;
        mapsizey[extra_level] = 0;
    }
    RandomBlocking();
    FillLevel(0);
    extra_level = 0;
    if (GenBelow(2)) {
        extra_level = 1 + GenBelow(WORLD_LEVELS - 1);
        FillLevel(extra_level);
    }
}

// Picks a random cell of level z inside its bounds.
static void RandomCell(int z, int16_t *x, int16_t *y) {
    *x = (int16_t)GenBelow(mapsizex[z] + 1);
    *y = (int16_t)GenBelow(mapsizey[z] + 1);
}

// Enables all creatures: spread over the passable cells of level 0, some on
// blocking cells, some sharing a cell, a few on another level; a mix of
// wanderers and player creatures, four of them bound to the client slots.
static void PlaceCreatures() {
    int opens = 0, walls = 0;
    for (int x = 0; x <= mapsizex[0]; x++)
        for (int y = 0; y <= mapsizey[0]; y++) {
            if (BlockAt(x, y, 0) <= 4) {
                open_x[opens] = (int16_t)x;
                open_y[opens++] = (int16_t)y;
            } else {
                wall_x[walls] = (int16_t)x;
                wall_y[walls++] = (int16_t)y;
            }
        }
    for (int i = opens - 1; i > 0; i--) { // shuffle the passable cells
        int j = GenBelow(i + 1);
        int16_t tx = open_x[i], ty = open_y[i];
        open_x[i] = open_x[j];
        open_y[i] = open_y[j];
        open_x[j] = tx;
        open_y[j] = ty;
    }
    int next_open = 0;
    for (int k = 0; k < MAX_NPCS; k++) {
        npc_enabled[k] = 1;
        npc_sight[k] = (uint8_t)GenBelow(7);
        npc_char[k] = (uint8_t)(1 + GenBelow(255));
        npc_color[k] = (uint8_t)GenBelow(256);
        npc_str[k] = (uint8_t)GenBelow(256);
        npc_dex[k] = (uint8_t)GenBelow(256);
        npc_con[k] = (uint8_t)GenBelow(256);
        npc_int[k] = (uint8_t)GenBelow(256);
        npc_wis[k] = (uint8_t)GenBelow(256);
        npc_cha[k] = (uint8_t)GenBelow(256);
        // One in eight is a player creature without a slot: it keeps trying
        // its move code, also one above 8, for the whole map.
        npc_playercontrol[k] = GenBelow(8) == 0 ? (uint8_t)(1 + GenBelow(255)) : 0;
        npc_move[k] = GenBelow(4) == 0 ? (uint8_t)GenBelow(256) : (uint8_t)GenBelow(9);
        npc_z[k] = 0;
        int r = GenBelow(32);
        if (r == 0 && walls > 0) {
            int j = GenBelow(walls);
            npc_x[k] = wall_x[j];
            npc_y[k] = wall_y[j];
        } else if (r <= 2 && k > 0) {
            int j = GenBelow(k);
            npc_x[k] = npc_x[j];
            npc_y[k] = npc_y[j];
            npc_z[k] = npc_z[j];
        } else if (r == 3) {
            // Another level: the random map's second one, or a level of the
            // single cell (0, 0).
            npc_z[k] = (int16_t)(extra_level ? extra_level : 1 + GenBelow(WORLD_LEVELS - 1));
            RandomCell(npc_z[k], &npc_x[k], &npc_y[k]);
        } else if (next_open < opens) {
            npc_x[k] = open_x[next_open];
            npc_y[k] = open_y[next_open++];
        } else {
            RandomCell(0, &npc_x[k], &npc_y[k]);
        }
    }
    clientplayers = MAX_CLIENTS;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        int c;
        bool taken;
        do {
            c = GenBelow(MAX_NPCS);
            taken = false;
            for (int j = 0; j < i; j++)
                taken = taken || localclient[j] == c;
        } while (taken);
        localclient[i] = (int16_t)c;
        // Mostly player creatures; now and then a wanderer, whose command is
        // overruled by its own choice, or a slot left unbound.
        int kind = GenBelow(16);
        npc_playercontrol[c] = kind == 0 ? 0 : (uint8_t)(i + 1);
        if (kind == 1 && i > 0)
            localclient[i] = -1;
    }
    memset(npc_vis, 0, sizeof npc_vis);
    memset(shadow_vis, 0, sizeof shadow_vis);
    memset(net_client_msg, 0, sizeof net_client_msg);
    for (int i = 0; i < MAX_CLIENTS; i++) {
        for (int j = 0; j < SERVER_SLOT; j++)
            net_server_msg[i * SERVER_SLOT + j] = CANARY(j & 0xff);
        slot_cmd[i] = 0;
    }
}

// Writes fresh commands into some of the slots: mostly move codes 0..8, now
// and then a code above 8 or noise in the bytes the server ignores.
static void WriteCommands() {
    for (int i = 0; i < MAX_CLIENTS; i++) {
        if (GenBelow(4) != 0)
            continue;
        uint8_t *cmd = net_client_msg + i * CLIENT_SLOT;
        cmd[0] = (uint8_t)GenBelow(2);
        cmd[1] = GenBelow(10) == 0 ? (uint8_t)(9 + GenBelow(247)) : (uint8_t)GenBelow(9);
        if (GenBelow(8) == 0)
            cmd[2 + GenBelow(CLIENT_SLOT - 2)] = (uint8_t)GenBelow(256);
        slot_cmd[i] = cmd[1];
    }
}

// Records what the coming turn is checked against.
static void Snapshot() {
    memcpy(prev_x, npc_x, sizeof prev_x);
    memcpy(prev_y, npc_y, sizeof prev_y);
    memcpy(prev_z, npc_z, sizeof prev_z);
    snap_turn = turn;
    rnd_before = rnd_seed;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        int c = localclient[i];
        snap_creature[i] = (int16_t)c;
        if (c < 0) {
            memcpy(snap_slot[i], net_server_msg + i * SERVER_SLOT, PACKAGE_COPY);
            continue;
        }
        snap_x[i] = npc_x[c];
        snap_y[i] = npc_y[c];
        snap_z[i] = npc_z[c];
        snap_sight[i] = npc_sight[c];
        const uint8_t attr[6] = {npc_str[c], npc_dex[c], npc_con[c],
                                 npc_int[c], npc_wis[c], npc_cha[c]};
        memcpy(snap_attr[i], attr, 6);
        for (int a = 0; a < VIEW_SIDE; a++)
            for (int b = 0; b < VIEW_SIDE; b++) {
                int x = npc_x[c] + a - VIEW_CENTRE, y = npc_y[c] + b - VIEW_CENTRE;
                snap_marks[i][a * VIEW_SIDE + b] =
                    Inside(x, y, npc_z[c]) ? npc_vis[CELL(x, y, npc_z[c])] : 0;
            }
    }
}

// Checks one occupancy mark: it names an enabled creature standing on the
// cell.
static void CheckMark(int x, int y, int z) {
    uint16_t m = npc_vis[CELL(x, y, z)];
    if (m == 0)
        return;
    if (m > MAX_NPCS)
        Fail("mark %u at (%d,%d,%d) names no creature", m, x, y, z);
    int k = m - 1;
    if (!npc_enabled[k])
        Fail("mark at (%d,%d,%d) names disabled creature %d", x, y, z, k);
    if (npc_x[k] != x || npc_y[k] != y || npc_z[k] != z)
        Fail("mark at (%d,%d,%d) names creature %d, which stands at (%d,%d,%d)", x, y, z, k,
             npc_x[k], npc_y[k], npc_z[k]);
}

// Checks every mark of the world grid, and that the grid is the one the
// movement rules give.
static void ScanMarks() {
    for (int x = 0; x < WORLD_X; x++)
        for (int y = 0; y < WORLD_Y; y++)
            for (int z = 0; z < WORLD_LEVELS; z++)
                CheckMark(x, y, z);
    if (memcmp(shadow_vis, npc_vis, sizeof npc_vis) != 0)
        Fail("occupancy grid differs from the replayed one");
}

// Replays the creature pass from the positions before the turn: in index
// order each creature clears its cell, wanderers draw their move from the
// game's random stream (read again from where the turn began, then left
// where the turn left it), and a move succeeds only onto a cell inside the
// level, passable and unmarked at that moment. Every outcome must match.
static void CheckMoves() {
    uint16_t rnd_after = rnd_seed;
    rnd_seed = rnd_before;
    for (int k = 0; k < MAX_NPCS; k++) {
        int x = prev_x[k], y = prev_y[k], z = prev_z[k];
        shadow_vis[CELL(x, y, z)] = 0;
        int m = npc_move[k];
        if (npc_playercontrol[k] == 0) {
            int want = 0;
            if (random8() != 7)
                want = (int)random8() + 1;
            if (m != want)
                Fail("wandering creature %d holds move code %d, the random stream gave %d", k, m,
                     want);
        }
        if (m >= 1 && m <= 8) {
            int nx = x + table_movex[m], ny = y + table_movey[m];
            if (Inside(nx, ny, z) && BlockAt(nx, ny, z) <= 4 && shadow_vis[CELL(nx, ny, z)] == 0) {
                x = nx;
                y = ny;
            }
        }
        if (npc_x[k] != x || npc_y[k] != y)
            Fail("creature %d with move code %d went from (%d,%d,%d) to (%d,%d), the rules give "
                 "(%d,%d)",
                 k, m, prev_x[k], prev_y[k], z, npc_x[k], npc_y[k], x, y);
        shadow_vis[CELL(x, y, z)] = (uint16_t)(k + 1);
    }
    if (rnd_seed != rnd_after)
        Fail("random stream at %u after the turn, the wanderers' draws end at %u", rnd_after,
             rnd_seed);
    rnd_seed = rnd_after;
    for (int k = 0; k < MAX_NPCS; k++) {
        int before = CELL(prev_x[k], prev_y[k], prev_z[k]),
            now = CELL(npc_x[k], npc_y[k], npc_z[k]);
        if (npc_vis[before] != shadow_vis[before] || npc_vis[now] != shadow_vis[now])
            Fail("occupancy around creature %d differs from the rules: (%d,%d,%d) holds %u, "
                 "expected %u; (%d,%d,%d) holds %u, expected %u",
                 k, prev_x[k], prev_y[k], prev_z[k], npc_vis[before], shadow_vis[before], npc_x[k],
                 npc_y[k], npc_z[k], npc_vis[now], shadow_vis[now]);
    }
}

// Checks that no turn wrote past the first 512 bytes of a package slot.
static void CheckCanaries() {
    for (int i = 0; i < MAX_CLIENTS; i++)
        for (int j = PACKAGE_COPY; j < SERVER_SLOT; j++)
            if (net_server_msg[i * SERVER_SLOT + j] != CANARY(j & 0xff))
                Fail("slot %d byte %d written (only 0..511 may be)", i, j);
}

// Sign of a number: -1, 0 or 1.
static int Sign(int v) {
    return (v > 0) - (v < 0);
}

// Whether the creature at (x, y, z) sees the cell at offset (dx, dy): every
// cell on the ray from it back to the creature, both ends left out, lies in
// the level and lets sight through. The ray steps straight along the longer
// offset and diagonally where both are equal.
static bool Seen(int x, int y, int z, int dx, int dy) {
    for (;;) {
        int ox = -dx, oy = -dy;
        int ax = ox < 0 ? -ox : ox, ay = oy < 0 ? -oy : oy;
        dx += ax >= ay ? Sign(ox) : 0;
        dy += ay >= ax ? Sign(oy) : 0;
        if (dx == 0 && dy == 0)
            return true;
        if (!Inside(x + dx, y + dy, z) || BlockAt(x + dx, y + dy, z) > 4)
            return false;
    }
}

// Decodes the package of slot i the way a client does, from its own header,
// and checks every pair against the world at package time.
static void CheckPackage(int i) {
    const uint8_t *p = net_server_msg + i * SERVER_SLOT;
    if (snap_creature[i] < 0) {
        if (memcmp(p, snap_slot[i], PACKAGE_COPY) != 0)
            Fail("slot %d is unbound but its package changed", i);
        return;
    }
    uint32_t t = (uint32_t)PackageTurn(p);
    if (t != snap_turn)
        Fail("slot %d package carries turn %u, expected %u", i, t, snap_turn);
    int s = p[PACKAGE_SIGHT], x = p[PACKAGE_X], y = p[PACKAGE_Y], z = p[PACKAGE_Z];
    if (s != snap_sight[i] || x != (snap_x[i] & 0xff) || y != (snap_y[i] & 0xff) ||
        z != (snap_z[i] & 0xff))
        Fail("slot %d package header sight %d at (%d,%d,%d), creature %d had sight %d at "
             "(%d,%d,%d)",
             i, s, x, y, z, snap_creature[i], snap_sight[i], snap_x[i], snap_y[i], snap_z[i]);
    if (s > MAX_SIGHT)
        Fail("slot %d package sight %d is beyond the window table", i, s);
    int pos = PACKAGE_CELLS;
    for (int dy = -s - 1; dy <= s + 1; dy++)
        for (int dx = -s - 1; dx <= s + 1; dx++) {
            int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
            if (!FOV_mask[s * 64 + ay * 8 + ax] || !Inside(x + dx, y + dy, z))
                continue;
            if (pos + 2 + 6 > PACKAGE_COPY)
                Fail("slot %d package runs past 512 bytes", i);
            uint16_t m = snap_marks[i][(dx + VIEW_CENTRE) * VIEW_SIDE + dy + VIEW_CENTRE];
            if (m > MAX_NPCS)
                Fail("slot %d package cell (%d,%d,%d) held mark %u", i, x + dx, y + dy, z, m);
            uint8_t t8 = map[CELL(x + dx, y + dy, z)];
            uint8_t colour = m ? npc_color[m - 1] : tilecolor[t8];
            uint8_t glyph = m ? npc_char[m - 1] : tilechar[t8];
            if (!Seen(x, y, z, dx, dy))
                glyph = 0;
            if (p[pos] != colour || p[pos + 1] != glyph)
                Fail("slot %d package pair at offset %d for cell (%d,%d,%d) is colour %u glyph "
                     "%u, expected colour %u glyph %u (mark %u, tile %u)",
                     i, pos, x + dx, y + dy, z, p[pos], p[pos + 1], colour, glyph, m, t8);
            pos += 2;
        }
    if (memcmp(p + pos, snap_attr[i], 6) != 0)
        Fail("slot %d package attributes at offset %d do not follow the last pair", i, pos);
}

// Checks the world after a turn.
static void CheckTurn() {
    if (turn != snap_turn + 1)
        Fail("turn counter went from %u to %u", snap_turn, (unsigned)turn);
    if (npcs != MAX_NPCS)
        Fail("%u creatures counted, %d enabled", npcs, MAX_NPCS);
    for (int k = 0; k < MAX_NPCS; k++) {
        int x = npc_x[k], y = npc_y[k], z = npc_z[k];
        if (x < 0 || x >= WORLD_X || y < 0 || y >= WORLD_Y || z < 0 || z >= WORLD_LEVELS)
            Fail("creature %d at (%d,%d,%d) is off the world grid", k, x, y, z);
        if (!Inside(x, y, z) || !InLevel(x, y, z))
            Fail("creature %d at (%d,%d,%d) is outside its level", k, x, y, z);
        if (z != prev_z[k])
            Fail("creature %d changed level from %d to %d", k, prev_z[k], z);
        int dx = x - prev_x[k], dy = y - prev_y[k];
        if (dx == 0 && dy == 0)
            continue;
        if (dx < -1 || dx > 1 || dy < -1 || dy > 1)
            Fail("creature %d jumped from (%d,%d) to (%d,%d)", k, prev_x[k], prev_y[k], x, y);
        if (BlockAt(x, y, z) > 4)
            Fail("creature %d moved onto (%d,%d,%d), tile %u of blocking value %d", k, x, y, z,
                 map[CELL(x, y, z)], BlockAt(x, y, z));
        int m = npc_move[k];
        if (m < 1 || m > 8 || table_movex[m] != dx || table_movey[m] != dy)
            Fail("creature %d moved by (%d,%d) with move code %d", k, dx, dy, m);
    }
    for (int i = 0; i < MAX_CLIENTS; i++) {
        int c = localclient[i];
        if (c >= 0 && npc_playercontrol[c] && npc_move[c] != slot_cmd[i])
            Fail("creature %d of slot %d holds move code %u, its command gave %u", c, i,
                 npc_move[c], slot_cmd[i]);
    }
    for (int k = 0; k < MAX_NPCS; k++) {
        CheckMark(prev_x[k], prev_y[k], prev_z[k]);
        CheckMark(npc_x[k], npc_y[k], npc_z[k]);
    }
    CheckMoves();
    for (int i = 0; i < MAX_CLIENTS; i++)
        CheckPackage(i);
}

// Runs the given number of turns on the current map.
static void RunMap(uint64_t turns) {
    PlaceCreatures();
    if (!soak_quiet)
        printf("soak: map %d: %ux%u%s, extra level %d, %llu turns\n", map_index, mapsizex[0] + 1u,
               mapsizey[0] + 1u, map_index == 0 ? " (shipped)" : "", extra_level,
               (unsigned long long)turns);
    for (uint64_t t = 0; t < turns; t++) {
        WriteCommands();
        Snapshot();
        ProcGameServer();
        CheckTurn();
        turns_done++;
        if (turns_done % SOAK_SCAN_EVERY == 0) {
            ScanMarks();
            CheckCanaries();
        }
    }
    ScanMarks();
    CheckCanaries();
}

static const char soak_usage[] =
    "usage: marrowdigger-soak [--data DIR] [--turns N] [--maps K] [--seed S] [--quiet]\n"
    "                         [--world-hash]\n"
    "Runs many server turns with every creature enabled, over the shipped map and K random\n"
    "maps, and checks the world after each turn.\n"
    "  --data DIR     game data folder (data/maptest.map, data/tiledata.cfg); default: .\n"
    "  --turns N      server turns in all, shared out over the maps\n"
    "  --maps K       random maps after the shipped one, 0..100000\n"
    "  --seed S       seed of the random maps\n"
    "  --quiet        no line per map\n"
    "  --world-hash   print a hash of the world at the end\n"
    "  --help         show this help and exit\n"
    "  --version      show the version and exit\n";

// Prints a one-line complaint about arg and ends with status 2.
static void Usage(const char *what, const char *arg) {
    fprintf(stderr, "marrowdigger-soak: %s '%.80s' (marrowdigger-soak --help lists the options)\n",
            what, arg ? arg : "");
    exit(2);
}

// Reads a whole non-negative number given after option, or ends with status 2.
static uint64_t Number(const char *option, const char *s) {
    uint64_t v = 0;
    if (!s || !ParseNumber(s, 0, UINT64_MAX, &v))
        Usage("a number is needed after", option);
    return v;
}

int main(int argc, char **argv) {
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i], *val = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!strcmp(arg, "--help")) {
            fputs(soak_usage, stdout);
            return 0;
        } else if (!strcmp(arg, "--version")) {
            printf("marrowdigger-soak %s\n", MD_VERSION);
            return 0;
        } else if (!strcmp(arg, "--data") && val)
            soak_data = argv[++i];
        else if (!strcmp(arg, "--data"))
            Usage("a folder is needed after", arg);
        else if (!strcmp(arg, "--turns"))
            soak_turns = Number(arg, val), i++;
        else if (!strcmp(arg, "--maps") && Number(arg, val) <= 100000)
            soak_maps = (int)Number(arg, val), i++;
        else if (!strcmp(arg, "--maps"))
            Usage("at most 100000 maps, not", val);
        else if (!strcmp(arg, "--seed"))
            soak_seed = Number(arg, val), i++;
        else if (!strcmp(arg, "--quiet"))
            soak_quiet = 1;
        else if (!strcmp(arg, "--world-hash"))
            soak_world_hash = 1;
        else
            Usage("unknown option", arg);
    }
    if (soak_data && chdir(soak_data) != 0) {
        fprintf(stderr, "soak: cannot enter %s\n", soak_data);
        return 2;
    }
    gen_state = soak_seed;
    LoadServerData();
    RestartServer();
    auto start = std::chrono::steady_clock::now();
    int maps = soak_maps + 1;
    for (map_index = 0; map_index < maps; map_index++) {
        if (map_index > 0)
            SetupRandomMap();
        uint64_t share = soak_turns / maps + ((uint64_t)map_index < soak_turns % maps);
        RunMap(share);
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("soak: %llu turns, %d maps, %.2f s, %.0f turns/s\n", (unsigned long long)turns_done,
           maps, secs, secs > 0 ? turns_done / secs : 0.0);
    if (soak_world_hash)
        printf("soak: world hash %016llx\n", (unsigned long long)WorldHash());
    return 0;
}
