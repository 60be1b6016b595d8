// The follow stream: the server's stream held back by a delay starts at the
// newest snapshot it allows and rebuilds the server's world from there,
// however late, also across slots that change hands and its ring's wrap.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "math/zmath.h"
#include "wire/bytes.h"
#include "wire/followstream.h"
#include "wire/protocol.h"
#include "wire/record.h"
#include "world/gameserver.h"
#include "world/mapload.h"
#include "world/worldhash.h"

namespace {

#define SLOTS (MAX_CLIENTS * CLIENT_SLOT)

// The server's stream over `turns` turns of four players with a hash entry
// every 100 turns; the world hash after each turn. Slots 1 and 3 walk right
// and left, leave for 51 turns in every 700 and come back with the command
// they left with, so a baseline that kept their old bytes would leave it out.
std::vector<uint64_t> ServerGame(uint32_t turns) {
    LoadServerData();
    turn = npcs = rnd_seed = 0;
    memset(npc_vis, 0, sizeof npc_vis);
    StartWorld(4, SETUP_RESTART);
    FollowStreamReset();
    std::vector<uint64_t> hashes = {WorldHash()};
    FollowStreamMark(0, hashes[0]);
    for (uint32_t t = 0; t < turns; t++) {
        uint8_t held = t % 700 < 649 ? 15 : 5;
        for (int i = 0; i < MAX_CLIENTS; i++) {
            uint8_t move = i % 2 ? (t % 2 ? 3 : 7) : (uint8_t)(t / (3 + i) % 9);
            net_client_msg[i * CLIENT_SLOT + 1] = (held >> i & 1) ? move : 0;
            net_client_msg[i * CLIENT_SLOT + 9] = (held >> i & 1) ? 7 : 0;
        }
        FollowStreamTurn(held);
        ProcGameServer();
        hashes.push_back(WorldHash());
        if (turn % 100 == 0)
            FollowStreamHash(hashes.back());
        FollowStreamMark(turn, hashes.back());
    }
    return hashes;
}

TEST(FollowStream, DelayedFollowerStartsAtTheNewestSnapshotAndRebuildsTheWorld) {
    const uint32_t now = 5432;
    std::vector<uint64_t> server = ServerGame(now);
    EXPECT_LE(server_stream.length - server_stream.base, (uint64_t)FOLLOW_STREAM_KEEP);
    EXPECT_GE(server_stream.base, 1000u); // the turns of the first snapshots are gone
    for (uint32_t delay : {0u, 1u, 20u, 432u, 433u, 999u, 1000u}) {
        const FollowSnap *s = FollowStreamStart(now, delay);
        ASSERT_TRUE(s) << delay;
        EXPECT_EQ(s->turn, (now - delay) / 1000 * 1000) << delay;
        EXPECT_GE(s->at, server_stream.base);
        uint64_t end = FollowStreamSendable(now, delay);
        std::vector<uint8_t> bytes(end - s->at);
        FollowStreamCopy(s->at, bytes.size(), bytes.data());
        // A follower: a fresh world, the snapshot, then the turns.
        turn = 0;
        StartWorld(4, SETUP_RESTART);
        uint8_t slots[SLOTS];
        ASSERT_TRUE(SnapshotRestore(s->bytes, s->size, slots));
        ASSERT_EQ(WorldHash(), s->hash);
        int checked = 0;
        for (size_t at = 0; at < bytes.size();) {
            bool is_hash;
            uint64_t hash;
            int n = FollowStreamDecode(&bytes[at], bytes.size() - at, 4, slots, &is_hash, &hash);
            ASSERT_GT(n, 0) << delay << " at " << at;
            at += (size_t)n;
            if (is_hash) {
                ASSERT_EQ(hash, WorldHash()) << delay << " turn " << turn;
                checked++;
                continue;
            }
            memcpy(net_client_msg, slots, SLOTS);
            ProcGameServer();
        }
        EXPECT_EQ(turn, now - delay); // the delay exactly, not a turn more or less
        EXPECT_EQ(WorldHash(), server[turn]) << delay;
        EXPECT_EQ(checked, (int)(turn / 100 - s->turn / 100)) << delay;
    }
}

// A damaged snapshot is refused and changes nothing: the cases give the byte
// changed and its new value, or with -1 the snapshot's new size.
TEST(FollowStream, DamagedSnapshotIsRefusedAndChangesNothing) {
    ServerGame(40);
    static uint8_t snap[SNAPSHOT_MAX], slots[SLOTS];
    size_t n = SnapshotWrite(snap, slots), c = 12 + 7 * (size_t)((snap[8] << 8) | snap[9]);
    ProcGameServer();
    uint64_t now = WorldHash();
    const std::pair<size_t, int> cases[] = {
        {n - 1, -1}, {n + 1, -1},      // a byte short, a byte over
        {4, 4},      {9, snap[9] + 1}, // random position 1024, a creature more
        {11, 200},   {c - 1, 0},       // a creature not enabled, no occupied cell
        {c, 0xFF},   {c + 4, 0},       // a cell off the world, one held by nobody
        {c + 3, 5},  {n - 1, 0x10},    // creature 1280 on a cell, a fifth slot
    };
    for (auto [at, set] : cases) {
        std::vector<uint8_t> bad(snap, snap + n);
        if (set < 0)
            bad.resize(at);
        else
            bad[at] = (uint8_t)set;
        EXPECT_FALSE(SnapshotRestore(bad.data(), bad.size(), slots)) << at << " " << set;
        EXPECT_EQ(WorldHash(), now) << at << " " << set;
    }
}

// A follower's chunks before, at, after and across the ring's wrap, and the
// whole ring, are the stream's bytes; every slot byte changes each turn.
TEST(FollowStream, ChunksAcrossTheRingsWrapAreTheStreamsBytes) {
    FollowStreamReset();
    std::vector<uint8_t> whole; // the stream as a plain array
    uint8_t last[SLOTS] = {}, e[FOLLOW_ENTRY_MAX];
    for (uint32_t t = 0; whole.size() < FOLLOW_STREAM_KEEP * 3 / 2; t++) {
        for (int i = 0; i < SLOTS; i++)
            net_client_msg[i] = (uint8_t)(t * 3 + i);
        FollowStreamTurn(15);
        size_t n = FollowEncodeTurn(15, net_client_msg, last, e);
        whole.insert(whole.end(), e, e + n);
        if (t % 100 == 0) {
            FollowStreamHash(0x0102030405060708ull * t);
            e[0] = FOLLOW_HASH_MARK;
            PutBE64(e + 1, 0x0102030405060708ull * t);
            whole.insert(whole.end(), e, e + FOLLOW_HASH_SIZE);
        }
    }
    ASSERT_EQ(server_stream.length, whole.size());
    const uint64_t wrap = FOLLOW_STREAM_KEEP, end = whole.size();
    const std::pair<uint64_t, size_t> chunks[] = {
        {wrap - STREAM_CHUNK, STREAM_CHUNK},
        {wrap, STREAM_CHUNK},
        {wrap - 1, STREAM_CHUNK},
        {wrap - 517, STREAM_CHUNK},
        {end - STREAM_CHUNK, STREAM_CHUNK},
        {end - FOLLOW_STREAM_KEEP, FOLLOW_STREAM_KEEP},
    };
    for (auto [at, n] : chunks) {
        std::vector<uint8_t> got(n);
        FollowStreamCopy(at, n, got.data());
        EXPECT_EQ(memcmp(got.data(), &whole[at], n), 0) << at << " + " << n;
    }
}

// A slot whose k bytes changed goes as k pairs up to FOLLOW_PAIRS_MAX, whole
// past that, and comes back through the stream's reader and a record's.
TEST(FollowStream, EveryCountOfChangedBytesComesBack) {
    LoadServerData();
    turn = 0;
    StartWorld(4, SETUP_RESTART);
    for (int k : {0, 1, 63, FOLLOW_PAIRS_MAX, FOLLOW_PAIRS_MAX + 1, CLIENT_SLOT}) {
        uint8_t was[SLOTS] = {}, now[SLOTS] = {}, last[SLOTS] = {}, slots[SLOTS] = {};
        uint8_t e[FOLLOW_ENTRY_MAX];
        was[1] = now[1] = 3;
        for (int b = 0; b < k; b++) // spread over the slot, the last byte too
            now[2 * CLIENT_SLOT + b * 37 % CLIENT_SLOT] = (uint8_t)(b + 1);
        bool is_hash;
        uint64_t hash;
        size_t n = FollowEncodeTurn(15, was, last, e);
        ASSERT_EQ(FollowStreamDecode(e, n, 4, slots, &is_hash, &hash), (int)n);
        n = FollowEncodeTurn(15, now, last, e);
        EXPECT_EQ(n, 4 + (k > FOLLOW_PAIRS_MAX ? 1 + CLIENT_SLOT : 1 + 2 * (size_t)k)) << k;
        EXPECT_EQ(FollowStreamDecode(e, n, 4, slots, &is_hash, &hash), (int)n) << k;
        EXPECT_EQ(memcmp(slots, now, SLOTS), 0) << k;

        FILE *f = tmpfile();
        ASSERT_TRUE(f && RecordHeader(f, DataHash(), 4, SETUP_RESTART));
        memcpy(net_client_msg, was, SLOTS);
        ASSERT_TRUE(RecordTurn(f, 0, 15));
        memcpy(net_client_msg, now, SLOTS);
        ASSERT_TRUE(RecordTurn(f, 1, 15) && RecordEnd(f, 2));
        rewind(f);
        int players, setup;
        ASSERT_TRUE(RecordReadHeader(f, "test", "tmp", &players, &setup));
        for (turn = 0; turn < 2; turn++) {
            ASSERT_EQ(RecordReadTurn(f, 4), RECORD_TURN) << k << " turn " << turn;
            EXPECT_EQ(memcmp(net_client_msg, turn ? now : was, SLOTS), 0) << k;
        }
        EXPECT_EQ(RecordReadTurn(f, 4), RECORD_DONE) << k;
        fclose(f);
        turn = 0;
    }
}

} // namespace
