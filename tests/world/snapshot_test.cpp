// World snapshots: a damaged snapshot is refused and changes nothing (the
// follow stream's tests restore good ones).
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "math/zmath.h"
#include "world/gameserver.h"
#include "world/mapload.h"
#include "world/snapshot.h"
#include "world/worldhash.h"

namespace {

// The world as a new process starts it.
void Start(int setup) {
    LoadServerData();
    turn = npcs = rnd_seed = 0;
    memset(npc_vis, 0, sizeof npc_vis);
    memset(npc_enabled, 0, sizeof npc_enabled);
    StartWorld(4, setup);
    for (int i = 0; i < MAX_CLIENTS; i++)
        net_client_msg[i * CLIENT_SLOT + 1] = (uint8_t)(i * 2 + 1);
}

TEST(Snapshot, DamagedSnapshotIsRefusedAndChangesNothing) {
    Start(SETUP_RESTART);
    for (int t = 0; t < 40; t++)
        ProcGameServer();
    uint8_t slots[MAX_CLIENTS * CLIENT_SLOT] = {};
    static uint8_t snap[SNAPSHOT_MAX];
    size_t n = SnapshotWrite(snap, slots);
    size_t creatures = (snap[8] << 8) | snap[9], cells = 12 + 7 * creatures;
    ProcGameServer();
    uint64_t now = WorldHash();
    struct Damage {
        size_t at; // byte changed, or the new size when set is -1
        int set;   // its new value
        const char *what;
    } cases[] = {
        {n - 1, -1, "a byte short"},
        {n + 1, -1, "a byte over"},
        {4, 0x04, "random stream position 1024"},
        {9, (int)creatures + 1, "a creature more"},
        {11, 200, "a creature that is not enabled"},
        {cells - 1, 0, "no occupied cell"},
        {cells, 0xFF, "a cell off the world"},
        {cells + 4, 0, "a cell held by nobody"},
        {cells + 3, 0x05, "creature 1280 on a cell"},
        {n - 1, 0x10, "a fifth command slot"},
    };
    for (const Damage &d : cases) {
        std::vector<uint8_t> bad(snap, snap + n);
        if (d.set < 0)
            bad.resize(d.at);
        else
            bad[d.at] = (uint8_t)d.set;
        uint8_t out[sizeof slots];
        EXPECT_FALSE(SnapshotRestore(bad.data(), bad.size(), out)) << d.what;
        EXPECT_EQ(WorldHash(), now) << d.what;
    }
}

} // namespace
