// Fuzzes the map loader through data/maptest.map.
#include <string.h>

#include "fuzzsupport.h"
#include "resources/tiles.h"
#include "world/gameserver.h"
#include "world/world.h"

static uint8_t expected[WORLD_X][WORLD_Y]; // level 0 as the file describes it
static uint8_t column[12800];              // one column x of the grid as it should be

// White space that separates the file's tokens.
static bool IsBlank(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads the input the way the format describes level 0, within the world's
// extent: one token per row, its leading digits the cells, at most 128 rows
// of 128 cells. Gives the number of rows and the cell count of the last.
static void ExpectedLevel(const uint8_t *data, size_t size, int *rows, int *width) {
    memset(expected, 0, sizeof expected);
    int y = 0, n = 0;
    size_t i = 0;
    while (y < WORLD_Y) {
        while (i < size && IsBlank(data[i]))
            i++;
        if (i == size)
            break;
        int x = 0;
        while (i < size && data[i] >= '0' && data[i] <= '9') {
            if (x < WORLD_X)
                expected[x][y] = (uint8_t)(data[i] - '0');
            x++;
            i++;
        }
        while (i < size && !IsBlank(data[i]))
            i++;
        n = x < WORLD_X ? x : WORLD_X;
        y++;
    }
    *rows = y;
    *width = n;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The grid is all zero between runs (checked below); reset the rest.
    tilechar[0] = 0;
    memset(mapsizex, 0, sizeof mapsizex);
    memset(mapsizey, 0, sizeof mapsizey);
    FuzzWriteInput("data/maptest.map", data, size);
    LoadDemoMap();

    int rows, width;
    ExpectedLevel(data, size, &rows, &width);
    FUZZ_CHECK(tilechar[0] == ' ');
    FUZZ_CHECK(mapsizex[0] <= 127 && mapsizey[0] <= 127);
    FUZZ_CHECK(mapsizey[0] == (rows > 0 ? rows - 1 : 0));
    FUZZ_CHECK(mapsizex[0] == (width > 0 ? width - 1 : 0));
    for (int z = 1; z < WORLD_LEVELS; z++)
        FUZZ_CHECK(mapsizex[z] == 0 && mapsizey[z] == 0);
    // Column by column, the whole grid must be zero but for level 0, which
    // holds the file's digits: levels 1..99 and everything beyond the rows
    // and digits the file gives stay untouched.
    for (int x = 0; x < WORLD_X; x++) {
        for (int y = 0; y < WORLD_Y; y++)
            column[y * 100] = expected[x][y];
        FUZZ_CHECK(memcmp(map + x * sizeof column, column, sizeof column) == 0);
    }
    // Clear what the load wrote, for the next run.
    for (int x = 0; x < WORLD_X; x++)
        for (int y = 0; y < rows; y++)
            map[CELL(x, y, 0)] = 0;
    return 0;
}
