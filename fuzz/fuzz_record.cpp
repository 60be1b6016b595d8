// Fuzzes the reading of game records as the server's --replay and the
// runner's --watch open and replay them, beside a copy of the shipped map
// and tile file (whose data hash the seeds carry). A record taken starts the
// world for its players and set-up, and every entry is read as the turn
// about to run asks for it: a version 1 turn entry takes exactly its own
// bytes and fills the held slots with its commands and every other slot
// with zeros; a version 2 turn leaves the slots beyond the players empty;
// its snapshots must fit the world. The end record must be the file's last
// bytes. A version 2 record is then jumped back to its start. The first turns run on
// the world; after them every creature must stand inside the level, with
// the occupancy grid naming only creatures that stand there.
//
// Input: the record's bytes.
#include <string.h>

#include "fuzzsupport.h"
#include "math/zmath.h"
#include "wire/record.h"
#include "world/gameserver.h"
#include "world/mapload.h"
#include "world/world.h"

#define RECORD "data/game.rec"
#define RUN_TURNS 4 // turns of the world run per input, to keep runs fast

// Reads the entries after the header as a replay does, the first
// RUN_TURNS of them run as turns of the world; the last status.
static int ReadEntries(FILE *f, int players, const uint8_t *data, size_t size) {
    for (;;) {
        long at = ftell(f);
        int status = RecordReadTurn(f, players);
        if (status == RECORD_DONE || status == RECORD_CUT)
            FUZZ_CHECK((size_t)ftell(f) == size);
        if (status != RECORD_TURN)
            return status;
        if (RecordVersion() == 2) {
            for (int b = players * CLIENT_SLOT; b < MAX_CLIENTS * CLIENT_SLOT; b++)
                FUZZ_CHECK(net_client_msg[b] == 0);
            FUZZ_CHECK(ftell(f) > at);
            if (turn < RUN_TURNS)
                ProcGameServer();
            else
                turn++;
            continue;
        }
        uint8_t mask = data[at + 4];
        const uint8_t *cmd = data + at + 5;
        for (int s = 0; s < MAX_CLIENTS; s++) {
            const uint8_t *slot = net_client_msg + s * CLIENT_SLOT;
            FUZZ_CHECK(s < players || !(mask & (1 << s)));
            if (mask & (1 << s)) {
                FUZZ_CHECK(memcmp(slot, cmd, CLIENT_SLOT) == 0);
                cmd += CLIENT_SLOT;
            } else {
                for (int b = 0; b < CLIENT_SLOT; b++)
                    FUZZ_CHECK(slot[b] == 0);
            }
        }
        FUZZ_CHECK(ftell(f) == (long)(cmd - data) + 4);
        if (turn < RUN_TURNS)
            ProcGameServer();
        else
            turn++; // read on as if the turn had run
    }
}

// What StartWorld sets, kept for each number of players and set-up the
// first time, so that later runs start their world without reading the map
// again (turns never change the map).
// clang-format off
#define START_FIELDS(F)                                                                   \
    F(npc_x) F(npc_y) F(npc_z) F(npc_enabled) F(npc_playercontrol) F(npc_move) F(npc_sight) \
    F(npc_char) F(npc_color) F(npc_str) F(npc_dex) F(npc_con) F(npc_int) F(npc_wis)         \
    F(npc_cha) F(localclient) F(clientplayers)
// clang-format on
#define DECLARE(field) decltype(field) field;
#define ZERO(field) memset(&field, 0, sizeof field);
#define SAVE(field) memcpy(&start.field, &field, sizeof field);
#define LOAD(field) memcpy(&field, &start.field, sizeof field);
static struct {
    START_FIELDS(DECLARE)
    bool kept;
} starts[MAX_CLIENTS + 1][SETUP_ALL + 1];

// Takes the creatures of the last run off the occupancy grid and starts the
// world as the program starts it.
static void Start(int players, int setup) {
    for (int k = 0; k < MAX_NPCS; k++)
        if (npc_enabled[k] && InLevel(npc_x[k], npc_y[k], npc_z[k]))
            npc_vis[CELL(npc_x[k], npc_y[k], npc_z[k])] = 0;
    npcs = 0;
    turn = 0;
    rnd_seed = 0;
    auto &start = starts[players][setup];
    if (start.kept) {
        START_FIELDS(LOAD)
        return;
    }
    START_FIELDS(ZERO)
    StartWorld(players, setup);
    START_FIELDS(SAVE)
    start.kept = true;
}

// Every creature stands inside its level, and its cell is unmarked or marked
// by a creature standing on it.
static void CheckCreatures() {
    for (int k = 0; k < MAX_NPCS; k++) {
        if (!npc_enabled[k])
            continue;
        FUZZ_CHECK(InLevel(npc_x[k], npc_y[k], npc_z[k]));
        int mark = npc_vis[CELL(npc_x[k], npc_y[k], npc_z[k])];
        FUZZ_CHECK(mark == 0 || (mark <= MAX_NPCS && npc_x[mark - 1] == npc_x[k] &&
                                 npc_y[mark - 1] == npc_y[k] && npc_z[mark - 1] == npc_z[k]));
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static bool loaded = false;
    if (!loaded) {
        FuzzCopyShipped("data/maptest.map");
        FuzzCopyShipped("data/tiledata.cfg");
        LoadServerData();
        loaded = true;
    }
    FuzzWriteInput(RECORD, data, size);
    FILE *f = RecordOpenRead("fuzz", RECORD);
    FUZZ_CHECK(f);
    int players = 0, setup = 0;
    if (RecordReadHeader(f, "fuzz", RECORD, &players, &setup)) {
        FUZZ_CHECK(players >= 1 && players <= MAX_CLIENTS && setup >= 0 && setup <= SETUP_ALL);
        Start(players, setup);
        int status = ReadEntries(f, players, data, size);
        FUZZ_CHECK(status == RECORD_DONE || status == RECORD_CUT || status == RECORD_CORRUPT);
        if (RecordVersion() == 2 && turn > 0 && turn <= RUN_TURNS) {
            int r = RecordJump(f, players, 0);
            FUZZ_CHECK(r == RECORD_TURN || r == RECORD_CUT || r == RECORD_CORRUPT);
            FUZZ_CHECK(r != RECORD_TURN || turn == 0);
        }
        CheckCreatures();
    }
    fclose(f);
    return 0;
}
