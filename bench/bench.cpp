// Benchmarks of the per-frame work, each beside a memset of one 320 x 240
// frame in the same run, so that figures can be read as ratios to it.
#include <benchmark/benchmark.h>
#include <string.h>
#include <unistd.h>

#include "client/gameclient.h"
#include "console/render.h"
#include "console/sfont.h"
#include "game/initall.h"
#include "math/tables.h"
#include "menu/mainmenu.h"
#include "platform/platform.h"
#include "resources/tiles.h"
#include "world/gameserver.h"
#include "world/world.h"

#if defined(MD_HAVE_LIBTCOD)
#include <libtcod/fov.h>
#endif

// Loads the shipped data the way start-up does, without opening a display.
static void LoadWorld() {
    static bool loaded = false;
    if (loaded)
        return;
    loaded = true;
    if (chdir(MD_DATA_DIR) != 0)
        return;
    LoadConfig();
    s_initfont();
    LoadServerData();
    LoadStrings();
    RestartServer();
}

// Enables every creature slot, spread over the passable cells of level 0.
static void EnableAllCreatures() {
    int k = 0;
    for (int y = 0; y <= mapsizey[0] && k < MAX_NPCS; y++)
        for (int x = 0; x <= mapsizex[0] && k < MAX_NPCS; x += 2) {
            if (tileblock[map[CELL(x, y, 0)]] > 4)
                continue;
            npc_enabled[k] = 1;
            npc_sight[k] = 6;
            npc_char[k] = 'w';
            npc_color[k] = 15;
            npc_x[k] = (int16_t)x;
            npc_y[k] = (int16_t)y;
            k++;
        }
}

static void BM_MemsetFrame(benchmark::State &state) {
    for (auto _ : state) {
        memset(scrbuf, (int)(count++ & 255), 76800);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemsetFrame);

static void BM_ServerTurnDefault(benchmark::State &state) {
    LoadWorld();
    for (auto _ : state)
        ProcGameServer();
}
BENCHMARK(BM_ServerTurnDefault);

static void BM_ServerTurnAll1024(benchmark::State &state) {
    LoadWorld();
    EnableAllCreatures();
    for (auto _ : state)
        ProcGameServer();
}
BENCHMARK(BM_ServerTurnAll1024);

// A cell of level 0 whose whole 15 x 15 window lets sight through: the
// field of view of sight 6 "in the open". (20, 20) if the map has none.
static void OpenGround(int *ox, int *oy) {
    *ox = *oy = 20;
    for (int y = 7; y + 7 <= mapsizey[0]; y++)
        for (int x = 7; x + 7 <= mapsizex[0]; x++) {
            bool open = true;
            for (int dy = -7; dy <= 7 && open; dy++)
                for (int dx = -7; dx <= 7 && open; dx++)
                    open = tileblock[map[CELL(x + dx, y + dy, 0)]] <= 4;
            if (open) {
                *ox = x;
                *oy = y;
                return;
            }
        }
}

static void BM_PreparePackageSight6(benchmark::State &state) {
    LoadWorld();
    int x, y;
    OpenGround(&x, &y);
    npc_x[0] = (int16_t)x;
    npc_y[0] = (int16_t)y;
    npc_sight[0] = 6;
    for (auto _ : state) {
        PreparePackage(0);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_PreparePackageSight6);

#if defined(MD_HAVE_LIBTCOD)
// libtcod's field of view on the same 15 x 15 window of the same map (open
// where the tile lets sight through), from its centre, radius 7, walls lit.
// Only the field of view is timed; the window is read into libtcod's map
// once.
static void BM_TcodFov(benchmark::State &state) {
    LoadWorld();
    int x, y;
    OpenGround(&x, &y);
    TCOD_Map *window = TCOD_map_new(15, 15);
    for (int dy = -7; dy <= 7; dy++)
        for (int dx = -7; dx <= 7; dx++) {
            bool open = tileblock[map[CELL(x + dx, y + dy, 0)]] <= 4;
            TCOD_map_set_properties(window, dx + 7, dy + 7, open, open);
        }
    const TCOD_fov_algorithm_t algorithm = (TCOD_fov_algorithm_t)state.range(0);
    for (auto _ : state) {
        TCOD_map_compute_fov(window, 7, 7, 7, true, algorithm);
        benchmark::ClobberMemory();
    }
    TCOD_map_delete(window);
}
BENCHMARK(BM_TcodFov)
    ->Arg(FOV_BASIC)
    ->Arg(FOV_SHADOW)
    ->Arg(FOV_SYMMETRIC_SHADOWCAST)
    ->Arg(FOV_RESTRICTIVE);
#endif

static void BM_ProcClient(benchmark::State &state) {
    LoadWorld();
    ProcGameServer();
    for (auto _ : state) {
        ProcClient();
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ProcClient);

static void BM_RenderMainMenu(benchmark::State &state) {
    LoadWorld();
    for (auto _ : state) {
        RenderMainMenu();
        count++;
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RenderMainMenu);

static void BM_RenderConsole(benchmark::State &state) {
    LoadWorld();
    for (int i = 0; i < CON_CELLS; i++) {
        scch[i] = (uint8_t)(i * 7);
        sccl[i] = (uint8_t)(i * 3);
        sccb[i] = (uint8_t)i;
    }
    curgametick = 256; // cursor shown
    render_paint = (uint8_t)state.range(0);
    for (auto _ : state) {
        RenderConsole();
        benchmark::ClobberMemory();
    }
    render_paint = PAINT_FASTEST;
}
// 0: the fastest painting the machine has, 1: SSE2, 2: plain 32-bit words.
BENCHMARK(BM_RenderConsole)->DenseRange(PAINT_FASTEST, PAINT_WORDS);

BENCHMARK_MAIN();
