// Field of view: the fixed-ray shadow pass over the 15 x 15 visibility grid
// that decides which cells of a creature's view package are seen.
#include "world/fov.h"

#include "math/zmath.h"
#include "resources/tiles.h"
#include "world/world.h"

#include <string.h>

// State declared in fov.h.
int8_t vis[225];

// The step tables are y-major (entry (a, b) at b * 15 + a), the transpose of
// vis. Each entry points from grid cell (a, b) to its neighbour one ring
// nearer the centre (7, 7): straight along the longer offset, diagonal where
// both offsets are equal.

// clang-format off
// x step toward the centre; row b (0..14) of 15 entries by a.
constexpr int8_t vis_dirx[225] = {
     1,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1,
     1,  1,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1, -1,
     1,  1,  1,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1, -1, -1,
     1,  1,  1,  1,  0,  0,  0,  0,  0,  0,  0, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  0,  0,  0,  0,  0, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  1,  0,  0,  0, -1, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  1,  1,  0, -1, -1, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  1,  1,  0, -1, -1, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  1,  1,  0, -1, -1, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  1,  0,  0,  0, -1, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  1,  0,  0,  0,  0,  0, -1, -1, -1, -1, -1,
     1,  1,  1,  1,  0,  0,  0,  0,  0,  0,  0, -1, -1, -1, -1,
     1,  1,  1,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1, -1, -1,
     1,  1,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1, -1,
     1,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, -1,
};

// y step toward the centre; row b (0..14) of 15 entries by a.
constexpr int8_t vis_diry[225] = {
     1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,
     0,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  0,
     0,  0,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1,  0,  0,
     0,  0,  0,  1,  1,  1,  1,  1,  1,  1,  1,  1,  0,  0,  0,
     0,  0,  0,  0,  1,  1,  1,  1,  1,  1,  1,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  1,  1,  1,  1,  1,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  1,  1,  1,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0,  0, -1, -1, -1,  0,  0,  0,  0,  0,  0,
     0,  0,  0,  0,  0, -1, -1, -1, -1, -1,  0,  0,  0,  0,  0,
     0,  0,  0,  0, -1, -1, -1, -1, -1, -1, -1,  0,  0,  0,  0,
     0,  0,  0, -1, -1, -1, -1, -1, -1, -1, -1, -1,  0,  0,  0,
     0,  0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  0,  0,
     0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  0,
    -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
};

// clang-format on

// Visibility step for grid cell (a, b) of a creature: copies the value of the
// neighbour toward the centre and lowers it where the cell stops sight.
void VisProc(unsigned short creature, short a, short b) {
    if (creature >= MAX_NPCS || a < 0 || a >= VIS_SIDE || b < 0 || b >= VIS_SIDE)
        return;
    int sx = vis_dirx[b * VIS_SIDE + a];
    int sy = vis_diry[b * VIS_SIDE + a];
    int8_t v = vis[(a + sx) * VIS_SIDE + (b + sy)];
    vis[a * VIS_SIDE + b] = v;
    if (v <= 0)
        return;
    if (v == 1) {
        vis[a * VIS_SIDE + b] = 0; // seen neighbour stops sight
        return;
    }
    int x = npc_x[creature] + a - VIS_CENTRE;
    int y = npc_y[creature] + b - VIS_CENTRE;
    int z = (uint8_t)npc_z[creature];
    if (!InLevel(x, y, z) || tileblock[map[CELL(x, y, z)]] > 4)
        vis[a * VIS_SIDE + b] = (int8_t)(v - 1); // seen, but stops sight
}

// The rings, worked out once from the tables above: ring r (1..7) holds
// entries 4r(r - 1) .. 4r(r + 1) - 1, in visiting order.
#define RING_CELLS 224

struct FovRings {
    uint8_t ring_at[RING_CELLS];   // vis index of the ring cell
    uint8_t ring_from[RING_CELLS]; // vis index of its neighbour toward the centre
    int8_t ring_dx[RING_CELLS];    // offset of the ring cell from the creature
    int8_t ring_dy[RING_CELLS];
    int32_t ring_cell[RING_CELLS]; // the same offset in the world grid
};

// Appends grid cell (a, b) to the ring list.
static constexpr void AddRingCell(FovRings &w, int &n, int a, int b) {
    const int sx = vis_dirx[b * VIS_SIDE + a], sy = vis_diry[b * VIS_SIDE + a];
    w.ring_at[n] = (uint8_t)(a * VIS_SIDE + b);
    w.ring_from[n] = (uint8_t)((a + sx) * VIS_SIDE + b + sy);
    w.ring_dx[n] = (int8_t)(a - VIS_CENTRE);
    w.ring_dy[n] = (int8_t)(b - VIS_CENTRE);
    w.ring_cell[n] = CELL(a - VIS_CENTRE, b - VIS_CENTRE, 0);
    n++;
}

// Lists the ring cells in visiting order; run by the compiler.
static constexpr FovRings BuildFovRings() {
    FovRings w{};
    int n = 0;
    for (int r = 1; r <= VIS_CENTRE; r++) { // clockwise from the top-left corner
        const int lo = VIS_CENTRE - r, hi = VIS_CENTRE + r;
        for (int a = lo; a < hi; a++)
            AddRingCell(w, n, a, lo);
        for (int b = lo; b < hi; b++)
            AddRingCell(w, n, hi, b);
        for (int a = hi; a > lo; a--)
            AddRingCell(w, n, a, hi);
        for (int b = hi; b > lo; b--)
            AddRingCell(w, n, lo, b);
    }
    return w;
}

static constexpr FovRings fov_rings = BuildFovRings();

// Bytes 0 or 1 of each bit of a byte, lowest bit first, in memory order.
struct BitBytes {
    uint8_t b[256][8];
};

// Fills the bit-to-byte table; run by the compiler.
static constexpr BitBytes BuildBitBytes() {
    BitBytes t{};
    for (int v = 0; v < 256; v++)
        for (int i = 0; i < 8; i++)
            t.b[v][i] = (uint8_t)((v >> i) & 1);
    return t;
}

static constexpr BitBytes bit_bytes = BuildBitBytes();

// Eight vis bytes from eight seen bits and eight pass bits: 0, 1 or 2 each,
// so the byte sums never carry.
static inline uint64_t VisBytes(unsigned seen, unsigned pass) {
    uint64_t a, b;
    memcpy(&a, bit_bytes.b[seen & 0xff], 8);
    memcpy(&b, bit_bytes.b[pass & 0xff], 8);
    return a + b;
}

// Clear bits of grid column a: bit b set where cell (a, b) lets sight through.
static inline unsigned ClearColumn(int base, int a) {
    const uint8_t *p = &map[base + CELL(a - VIS_CENTRE, -VIS_CENTRE, 0)];
    unsigned clear = 0;
    for (int b = 0; b < VIS_SIDE; b++)
        clear |= (unsigned)(tileblock[p[b * 100]] <= 4) << b;
    return clear;
}

// Finishes grid column a from the seen and pass bits of its cells within d
// rows of the centre row (d = distance of the column from the centre
// column): the cells beyond take sight along the column, outward, through
// the run of clear cells, and the first blocking cell is still seen.
static inline void ColumnEnds(unsigned clear, int d, unsigned &seen, unsigned &pass) {
    // Upward from row 7 - d: find the nearest blocking cell above it (bit 0
    // of the shifted word stands for the row above the grid, always
    // blocking, so the word is never zero).
    const int k = VIS_CENTRE - d;
    const unsigned m = (2u << k) - 1;
    const unsigned z = ~(clear << 1) & m;
    const int hb = 31 - __builtin_clz(z);
    const unsigned up = 0u - ((pass >> k) & 1);
    const unsigned up_pass = ((m & ~((2u << hb) - 1)) >> 1) & up;
    const unsigned up_seen = ((m & ~((1u << hb) - 1)) >> 1) & up;
    // Downward from row 7 + d: the run of trailing clear cells below it.
    const int r = VIS_CENTRE + d;
    const unsigned t = clear >> (r + 1);
    const unsigned run = t & ~(t + 1);
    const unsigned down = 0u - ((pass >> r) & 1);
    const unsigned down_pass = (run << (r + 1)) & down;
    const unsigned down_seen = (((run << 1) | 1) << (r + 1)) & down & 0x7fff;
    seen |= up_seen | down_seen;
    pass |= up_pass | down_pass;
}

// The whole 15 x 15 grid at once, for the widest sight where every cell of
// the grid lies on the level. A column of the grid is a word with bit b for
// row b. Cells nearer the centre row than their column is to the centre
// column take sight from the column one step nearer the centre (a whole
// column at once; the two cells at equal distance diagonally); the rest of
// the column follows it outward. Gives what stepping the rings cell by cell
// gives.
static void FovWholeGrid(int base) {
    unsigned seen[VIS_SIDE], pass[VIS_SIDE];
    seen[VIS_CENTRE] = pass[VIS_CENTRE] = 1u << VIS_CENTRE; // the creature's own cell
    ColumnEnds(ClearColumn(base, VIS_CENTRE), 0, seen[VIS_CENTRE], pass[VIS_CENTRE]);
    // Unrolled so that every mask and shift below is a constant.
#pragma GCC unroll 7
    for (int d = 1; d <= VIS_CENTRE; d++) {
        const unsigned inner = ((1u << (2 * d - 1)) - 1) << (VIS_CENTRE + 1 - d);
        const unsigned lo = 1u << (VIS_CENTRE - d), hi = 1u << (VIS_CENTRE + d);
#pragma GCC unroll 2
        for (int side = -1; side <= 1; side += 2) {
            const int a = VIS_CENTRE + side * d;
            const unsigned prev = pass[a - side];
            const unsigned clear = ClearColumn(base, a);
            unsigned s = (prev & inner) | ((prev >> 1) & lo) | ((prev << 1) & hi);
            unsigned p = s & clear;
            ColumnEnds(clear, d, s, p);
            seen[a] = s;
            pass[a] = p;
        }
    }
    // vis bytes column by column: 2 seen and passing, 1 seen, 0 hidden.
    uint8_t grid[VIS_SIDE * VIS_SIDE + 1]; // room for the last column's spill
    for (int a = 0; a < VIS_SIDE; a++) {
        const uint64_t top = VisBytes(seen[a], pass[a]);
        const uint64_t bottom = VisBytes(seen[a] >> 8, pass[a] >> 8);
        memcpy(&grid[a * VIS_SIDE], &top, 8);
        memcpy(&grid[a * VIS_SIDE + 8], &bottom, 8);
    }
    memcpy(vis, grid, VIS_SIDE * VIS_SIDE);
}

void FovPass(int px, int py, int z, int s, bool inside, int base) {
    const FovRings &w = fov_rings;
    const int reach = s + 1;
    const int rings = 4 * reach * (reach + 1);

    // Rings from the inside out. A neighbour value v of 2 (seen, sight
    // passes) gives 2, or 1 where this cell stops sight; 1 or 0 gives 0.
    vis[VIS_CENTRE * VIS_SIDE + VIS_CENTRE] = 2;
    if (inside && s == MAX_SIGHT) {
        FovWholeGrid(base);
    } else if (inside) {
        for (int i = 0; i < rings; i++) {
            const int8_t pass = tileblock[map[base + w.ring_cell[i]]] > 4 ? 1 : 2;
            vis[w.ring_at[i]] = vis[w.ring_from[i]] == 2 ? pass : 0;
        }
    } else {
        for (int i = 0; i < rings; i++) {
            const int v = vis[w.ring_from[i]];
            int8_t out = 0;
            if (v == 2) {
                const int x = px + w.ring_dx[i], y = py + w.ring_dy[i];
                out = !InLevel(x, y, z) || tileblock[map[CELL(x, y, z)]] > 4 ? 1 : 2;
            }
            vis[w.ring_at[i]] = out;
        }
    }
}
