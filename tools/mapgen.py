#!/usr/bin/env python3
"""Builds gamedata/data/maptest.map, level 0 of the world.

The layout is fixed: rooms, corridors and doors are placed by hand below;
only the ragged edges of the caves and the garden, the scattered rubble and
the trees come from a small seeded generator, so every run writes the same
file. Run from anywhere:  python3 tools/mapgen.py [output path]

Tile numbers (gamedata/data/tiledata.cfg):
  0 void (solid rock)  1 floor  2 wall  3 door  4 shallow water
  5 grass  6 pillar  7 rubble  8 tree  9 gravel path
Blocking tiles (wall, pillar, tree, void) stop movement and sight.
"""

import math
import os
import sys

W, H = 96, 64
VOID, FLOOR, WALL, DOOR, WATER, GRASS, PILLAR, RUBBLE, TREE, PATH = range(10)
PASSABLE = {FLOOR, DOOR, WATER, GRASS, RUBBLE, PATH}
PLAYER_START = (2, 4)
WANDERER_START = (22, 14)

grid = [[VOID] * W for _ in range(H)]


class Rng:
    """A tiny linear congruential generator, so the map never depends on
    the Python version's own random module."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF

    def next(self):
        self.state = (self.state * 1664525 + 1013904223) & 0xFFFFFFFF
        return self.state >> 8

    def below(self, n):
        return self.next() % n


rng = Rng(0x4D415252)  # "MARR"


def put(x, y, t):
    if 1 <= x < W - 1 and 1 <= y < H - 1:
        grid[y][x] = t


def get(x, y):
    if 0 <= x < W and 0 <= y < H:
        return grid[y][x]
    return VOID


def fill(x0, y0, x1, y1, t):
    """Fills the inclusive rectangle with tile t."""
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            put(x, y, t)


def line(points, t=FLOOR):
    """Carves a one-cell corridor through the given corner points, each leg
    straight (horizontal or vertical)."""
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        assert x0 == x1 or y0 == y1, "corridor legs must be straight"
        dx = (x1 > x0) - (x1 < x0)
        dy = (y1 > y0) - (y1 < y0)
        x, y = x0, y0
        while True:
            put(x, y, t)
            if (x, y) == (x1, y1):
                break
            x += dx
            y += dy


def blob(cx, cy, rx, ry, t, wobble, only=None):
    """Fills an ellipse whose rim swells and dents smoothly around it, for
    natural shores and clearings; `wobble` is the largest change of radius
    as a fraction. With `only`, just cells holding one of those tiles change."""
    waves = [(k, rng.below(628) / 100.0, (rng.below(100) + 50) / 150.0) for k in (2, 3, 5)]
    for y in range(cy - 2 * ry, cy + 2 * ry + 1):
        for x in range(cx - 2 * rx, cx + 2 * rx + 1):
            nx = (x - cx) / (rx + 0.5)
            ny = (y - cy) / (ry + 0.5)
            a = math.atan2(ny, nx)
            f = 1.0 + wobble * sum(w * math.sin(k * a + p) for k, p, w in waves) / 2.0
            if nx * nx + ny * ny <= f * f and (only is None or get(x, y) in only):
                put(x, y, t)


def scatter(x0, y0, x1, y1, t, per_mille, on=(FLOOR,)):
    """Sprinkles tile t over cells holding one of the tiles in `on`."""
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            if get(x, y) in on and rng.below(1000) < per_mille:
                put(x, y, t)


def cave(x0, y0, x1, y1, fill_per_mille, steps):
    """Grows a cave in the rectangle by a cellular automaton: open cells stay
    open with at least 4 open neighbours (and become open with 5)."""
    cells = {}
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            cells[(x, y)] = rng.below(1000) < fill_per_mille
    for _ in range(steps):
        nxt = {}
        for (x, y), open_ in cells.items():
            n = sum(cells.get((x + i, y + j), False)
                    for i in (-1, 0, 1) for j in (-1, 0, 1) if i or j)
            nxt[(x, y)] = n >= 5 or (open_ and n >= 4)
        cells = nxt
    for (x, y), open_ in cells.items():
        if open_:
            put(x, y, FLOOR)


# --- North-west: the entry vault where the player wakes up -----------------
fill(1, 1, 9, 7, FLOOR)
put(6, 3, PILLAR)
put(6, 5, PILLAR)
for x, y in ((8, 1), (9, 1), (9, 2), (1, 7), (8, 7)):
    put(x, y, RUBBLE)
line([(10, 4), (10, 4)], DOOR)                 # east door
line([(11, 4), (36, 4)])                        # the long north corridor
line([(5, 8), (5, 8)], DOOR)                    # south door
line([(5, 9), (5, 11)])

# --- West wing: a storeroom and a flooded cistern ---------------------------
fill(1, 12, 9, 17, FLOOR)
line([(5, 12), (5, 12)], DOOR)
scatter(1, 12, 9, 17, RUBBLE, 300)
fill(3, 14, 4, 15, WALL)                        # a collapsed stack of crates
line([(5, 18), (5, 18)], DOOR)
fill(1, 19, 10, 27, FLOOR)
blob(5, 23, 5, 4, WATER, 0.25, only=(FLOOR,))
for x, y in ((3, 21), (7, 21), (3, 25), (7, 25)):
    put(x, y, PILLAR)
line([(11, 23), (11, 23)], DOOR)                # cistern to the great hall
line([(12, 23), (12, 17), (13, 17)])

# --- The great hall: the wanderers gather around (22, 14) ------------------
fill(14, 10, 33, 21, FLOOR)
for x in range(16, 33, 3):                      # two colonnades
    put(x, 12, PILLAR)
    put(x, 19, PILLAR)
fill(26, 15, 29, 16, WATER)                     # a shallow basin
put(22, 9, DOOR)                                # north door
line([(22, 5), (22, 8)])
put(13, 17, DOOR)                               # west door
put(34, 15, DOOR)                               # east door
put(24, 22, DOOR)                               # south door

# --- North: the library, shelves in rows -----------------------------------
put(37, 4, DOOR)
fill(38, 1, 56, 8, FLOOR)
for y in (3, 6):
    fill(40, y, 46, y, WALL)
    fill(49, y, 54, y, WALL)
put(47, 1, PILLAR)
put(47, 8, PILLAR)
put(57, 5, DOOR)                                # out to the garden
line([(58, 5), (62, 5)], PATH)

# --- Middle: barracks along the east road ----------------------------------
line([(35, 15), (60, 15)])
for x0 in (37, 45, 53):
    fill(x0, 10, x0 + 5, 13, FLOOR)             # north cells
    put(x0 + 2, 14, DOOR)
    fill(x0, 17, x0 + 5, 20, FLOOR)             # south cells
    put(x0 + 3, 16, DOOR)
scatter(37, 10, 58, 20, RUBBLE, 80)
put(39, 11, PILLAR)
put(56, 19, PILLAR)

# --- East: the cavern garden with its pond ---------------------------------
blob(77, 13, 14, 9, GRASS, 0.35)
blob(86, 26, 6, 6, GRASS, 0.3)
blob(80, 16, 6, 3, WATER, 0.4, only=(GRASS,))
blob(71, 9, 2, 1, WATER, 0.2, only=(GRASS,))         # a spring
scatter(60, 1, 94, 33, TREE, 40, on=(GRASS,))
for gx, gy in ((70, 4), (88, 9), (68, 20), (90, 27), (84, 4)):   # groves
    scatter(gx - 3, gy - 2, gx + 3, gy + 2, TREE, 380, on=(GRASS,))
line([(58, 5), (65, 5), (65, 15), (73, 15)], PATH)   # library gate to pond
line([(60, 15), (65, 15)], PATH)                     # east road
line([(73, 15), (73, 20), (86, 20), (86, 31)], PATH) # around the pond
for y in range(1, 35):                               # keep the paths clear
    for x in range(58, 95):
        if grid[y][x] == TREE and any(get(x + i, y + j) == PATH
                                      for i in (-1, 0, 1) for j in (-1, 0, 1)):
            grid[y][x] = GRASS
put(80, 16, PILLAR)                                  # a standing stone
put(81, 16, PILLAR)

# --- Middle: the old dig below the barracks --------------------------------
put(40, 21, DOOR)
put(56, 21, DOOR)
line([(40, 22), (40, 24)])
line([(56, 22), (56, 25)])
cave(28, 24, 57, 35, 520, 4)
scatter(28, 24, 57, 35, RUBBLE, 110)

# --- South-west: the caves and the underground river -----------------------
cave(2, 31, 44, 61, 540, 5)
line([(24, 23), (24, 34)])                           # from the hall
line([(5, 28), (5, 33)])                             # from the cistern
for x in range(1, 46):                               # the river, meandering
    y = 44 + ((x // 6) % 3) - 1 + (1 if x % 11 < 4 else 0)
    for dy in (0, 1):
        if get(x, y + dy) in (FLOOR, VOID):
            put(x, y + dy, WATER)
scatter(2, 31, 44, 61, RUBBLE, 60)
blob(14, 55, 4, 3, FLOOR, 0.3)               # the bone pit
for x, y in ((12, 54), (16, 56), (14, 53)):
    put(x, y, PILLAR)
line([(44, 50), (58, 50)])                           # to the crypt

# --- South-east: the chapel and its crypt cells ----------------------------
fill(59, 37, 83, 57, FLOOR)
for x in range(62, 81, 3):                           # nave colonnades
    put(x, 41, PILLAR)
    put(x, 53, PILLAR)
fill(69, 45, 73, 49, RUBBLE)
fill(70, 46, 72, 48, FLOOR)
put(71, 47, PILLAR)                                  # the altar stone
fill(64, 38, 65, 39, WATER)                          # two fonts
fill(77, 38, 78, 39, WATER)
scatter(59, 54, 83, 57, RUBBLE, 150)
put(58, 50, DOOR)                                    # west door
put(71, 36, DOOR)                                    # north door
line([(71, 35), (71, 33), (86, 33), (86, 31)], PATH)
put(84, 47, DOOR)                                    # east door to the crypt
line([(85, 47), (88, 47)])
line([(88, 36), (88, 60)])                           # crypt gallery
for i, y in enumerate(range(37, 60, 4)):             # cells on both sides
    fill(90, y, 93, y + 2, FLOOR)
    put(89, y + 1, DOOR)
    if i % 2 == 0:
        put(92, y + 1, RUBBLE)
fill(60, 59, 84, 61, FLOOR)                          # the undercroft
put(72, 58, DOOR)
line([(85, 60), (87, 60)])
for x in range(62, 84, 4):
    put(x, 60, PILLAR)


def flood(start):
    """Cells reachable from start by 8-connected moves over passable tiles."""
    seen = {start}
    todo = [start]
    while todo:
        x, y = todo.pop()
        for i in (-1, 0, 1):
            for j in (-1, 0, 1):
                n = (x + i, y + j)
                if n not in seen and get(*n) in PASSABLE:
                    seen.add(n)
                    todo.append(n)
    return seen


# Pockets the caves and trees cut off are filled with rock.
reach = flood(PLAYER_START)
lost = 0
for y in range(H):
    for x in range(W):
        if grid[y][x] in PASSABLE and (x, y) not in reach:
            grid[y][x] = VOID
            lost += 1

# Every cell of rock that touches open ground becomes a wall.
for y in range(H):
    for x in range(W):
        if grid[y][x] == VOID and any(get(x + i, y + j) in PASSABLE
                                      for i in (-1, 0, 1) for j in (-1, 0, 1)):
            grid[y][x] = WALL

assert get(*PLAYER_START) in PASSABLE and get(*WANDERER_START) in PASSABLE
assert WANDERER_START in flood(PLAYER_START)

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "..", "gamedata", "data", "maptest.map")
with open(out, "w", newline="\n") as f:
    for row in grid:
        f.write("".join(str(t) for t in row) + "\n")
print("wrote %s: %d x %d, %d cut-off cells filled" % (out, W, H, lost), file=sys.stderr)
