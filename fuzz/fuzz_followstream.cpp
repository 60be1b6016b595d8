// Fuzzes the follow stream's reader: random bytes decode to entries or
// are refused without reading past the bytes given, and a refused or
// incomplete entry leaves the command slots alone. Then the same bytes,
// read as commands of successive turns, go through the writer and must come
// back out of the reader exactly. Last, the bytes are read as a world
// snapshot: refused with the world unchanged, or taken, and then the
// snapshot written from the restored world restores the same world.
//
// Input: byte 0 picks the players (1..4); the rest is the stream.
#include <string.h>

#include <vector>

#include "fuzzsupport.h"
#include "wire/followstream.h"
#include "world/snapshot.h"
#include "world/world.h"

static uint8_t slots[MAX_CLIENTS * CLIENT_SLOT];
static uint8_t before[MAX_CLIENTS * CLIENT_SLOT];

// Reads random bytes as a stream until they run out or are refused.
static void ReadRandom(const uint8_t *p, size_t n, int players) {
    memset(slots, 0, sizeof slots);
    size_t at = 0;
    while (at < n) {
        // A copy of exactly the bytes left, so reading past them is caught.
        std::vector<uint8_t> rest(p + at, p + n);
        memcpy(before, slots, sizeof slots);
        bool is_hash = false;
        uint64_t hash = 0;
        int used = FollowStreamDecode(rest.data(), rest.size(), players, slots, &is_hash, &hash);
        if (used <= 0) {
            FUZZ_CHECK(used == FOLLOW_NEED_MORE || used == FOLLOW_BAD);
            FUZZ_CHECK(memcmp(before, slots, sizeof slots) == 0);
            return;
        }
        FUZZ_CHECK((size_t)used <= rest.size());
        at += (size_t)used;
    }
}

// Writes turns whose commands come from the input and reads them back.
static void RoundTrip(const uint8_t *p, size_t n, int players) {
    FollowStreamReset();
    memset(net_client_msg, 0, sizeof net_client_msg);
    std::vector<std::vector<uint8_t>> turns;
    for (size_t at = 0; at + 3 <= n; at += 3) {
        uint8_t held = (uint8_t)(p[at] & ((1 << players) - 1));
        // Each turn changes one byte of every slot, held or not.
        for (int s = 0; s < MAX_CLIENTS; s++)
            net_client_msg[s * CLIENT_SLOT + p[at + 1] % CLIENT_SLOT] = (uint8_t)(p[at + 2] + s);
        std::vector<uint8_t> want(net_client_msg, net_client_msg + sizeof slots);
        for (int s = 0; s < MAX_CLIENTS; s++)
            if (!(held & (1 << s)))
                memset(want.data() + s * CLIENT_SLOT, 0, CLIENT_SLOT);
        turns.push_back(want);
        FollowStreamTurn(held);
        if (at % 9 == 0)
            FollowStreamHash(at * 0x9e3779b97f4a7c15ull);
    }
    FUZZ_CHECK(server_stream.base == 0);
    std::vector<uint8_t> stream(server_stream.length);
    FollowStreamCopy(0, stream.size(), stream.data());
    memset(slots, 0, sizeof slots);
    size_t at = 0, turn_at = 0;
    while (at < stream.size()) {
        bool is_hash = false;
        uint64_t hash = 0;
        int used = FollowStreamDecode(stream.data() + at, stream.size() - at, players, slots,
                                      &is_hash, &hash);
        FUZZ_CHECK(used > 0);
        at += (size_t)used;
        if (is_hash)
            continue;
        FUZZ_CHECK(turn_at < turns.size());
        FUZZ_CHECK(memcmp(slots, turns[turn_at].data(), sizeof slots) == 0);
        turn_at++;
    }
    FUZZ_CHECK(turn_at == turns.size());
}

// Reads the bytes as a snapshot of a world of eight creatures. A refusal
// changes nothing; a world it gives writes the same snapshot twice over.
static void ReadSnapshot(const uint8_t *p, size_t n) {
    static uint8_t first[SNAPSHOT_MAX], second[SNAPSHOT_MAX], back[sizeof slots];
    for (int k = 0; k < 8; k++)
        npc_enabled[k * 100] = 1;
    std::vector<uint8_t> bytes(p, p + n);
    turn = 7, npc_vis[0] = npc_vis[WORLD_CELLS - 1] = 3, npc_x[100] = 5; // kept on a refusal
    if (!SnapshotRestore(bytes.data(), bytes.size(), slots)) {
        FUZZ_CHECK(turn == 7 && npc_vis[0] == 3 && npc_vis[WORLD_CELLS - 1] == 3 &&
                   npc_x[100] == 5);
        return;
    }
    size_t size = SnapshotWrite(first, slots);
    FUZZ_CHECK(size > 0 && size <= n && SnapshotRestore(first, size, back));
    FUZZ_CHECK(memcmp(back, slots, sizeof slots) == 0 && SnapshotWrite(second, back) == size);
    FUZZ_CHECK(memcmp(first, second, size) == 0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    int players = 1 + data[0] % MAX_CLIENTS;
    ReadRandom(data + 1, size - 1, players);
    RoundTrip(data + 1, size - 1, players);
    ReadSnapshot(data + 1, size - 1);
    return 0;
}
