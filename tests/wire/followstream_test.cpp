// The follow stream: its turn entries give every turn's commands back,
// also when a slot changes hands; bad entries are refused whole; the
// server's stream held back by a delay starts at the newest snapshot it
// allows and rebuilds the server's world from there, however late.
#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "math/zmath.h"
#include "wire/followstream.h"
#include "world/gameserver.h"
#include "world/mapload.h"
#include "world/worldhash.h"

namespace {

#define SLOTS (MAX_CLIENTS * CLIENT_SLOT)

// One turn: the held slots and, for each slot, bytes set (index, value).
struct Step {
    uint8_t held;
    std::vector<std::pair<int, int>> set[MAX_CLIENTS];
};

TEST(FollowStream, EntriesGiveEveryTurnsCommandsBackAsSlotsChangeHands) {
    std::vector<std::pair<int, int>> many;
    for (int b = 0; b < 100; b++)
        many.push_back({b, b + 1});
    const std::vector<Step> steps = {
        {1, {{{1, 3}, {5, 9}}}},
        {1, {{{1, 3}, {5, 9}}}}, // unchanged: no bytes
        {0, {}},                 // slot 0 left
        {1, {{{1, 3}}}},         // a new player in it, a byte as the old one had it
        {3, {{{1, 4}}, many}},   // a slot given whole
        {2, {{}, {{127, 1}}}},
        {15, {{{0, 1}}, {}, {{64, 2}}, {{127, 255}}}},
    };
    uint8_t last[SLOTS] = {}, got[SLOTS] = {}, e[FOLLOW_ENTRY_MAX];
    for (size_t t = 0; t < steps.size(); t++) {
        uint8_t now[SLOTS] = {};
        for (int i = 0; i < MAX_CLIENTS; i++)
            for (auto [b, v] : steps[t].set[i])
                now[i * CLIENT_SLOT + b] = (uint8_t)v;
        size_t n = FollowEncodeTurn(steps[t].held, now, last, e);
        bool is_hash = true;
        uint64_t hash;
        ASSERT_EQ(FollowStreamDecode(e, n - 1, 4, got, &is_hash, &hash), FOLLOW_NEED_MORE);
        ASSERT_EQ(FollowStreamDecode(e, n, 4, got, &is_hash, &hash), (int)n) << t;
        EXPECT_FALSE(is_hash);
        for (int i = 0; i < MAX_CLIENTS; i++)
            if (!(steps[t].held & (1 << i)))
                memset(now + i * CLIENT_SLOT, 0, CLIENT_SLOT);
        EXPECT_EQ(memcmp(got, now, SLOTS), 0) << "turn " << t;
        if (t != 4 && t != 5) { // 4 and 5 give slot 1 whole
            EXPECT_LE(n, 1 + 4 * 3u) << "turn " << t;
        }
    }
}

TEST(FollowStream, BadEntriesAreRefusedWhole) {
    const std::vector<std::vector<uint8_t>> bad = {
        {1, 1, 128, 5},    // byte index one past the slot
        {3, 0, 1, 255, 7}, // slot 1's index past the slot, after a good slot 0
        {1, 65},           // more pairs than a whole slot takes
        {1, 0xFE},         // neither pairs nor whole
        {4, 0},            // slot 2 of a two-player stream
        {0x10},            // a fifth slot
    };
    for (const std::vector<uint8_t> &b : bad) {
        std::vector<uint8_t> entry = b;
        entry.resize(entry.size() + 2 * CLIENT_SLOT); // never short of bytes
        uint8_t slots[SLOTS];
        memset(slots, 0x33, sizeof slots);
        bool is_hash;
        uint64_t hash;
        EXPECT_EQ(FollowStreamDecode(entry.data(), entry.size(), 2, slots, &is_hash, &hash),
                  FOLLOW_BAD)
            << (int)b[0] << " " << (int)b[1];
        for (uint8_t s : slots)
            ASSERT_EQ(s, 0x33);
    }
}

// The server's stream over `turns` turns of four players changing their
// commands every few turns, with a hash entry every 100 turns; the world
// hash after each turn.
std::vector<uint64_t> ServerGame(uint32_t turns) {
    LoadServerData();
    turn = npcs = rnd_seed = 0;
    memset(npc_vis, 0, sizeof npc_vis);
    StartWorld(4, SETUP_RESTART);
    FollowStreamReset();
    std::vector<uint64_t> hashes = {WorldHash()};
    FollowStreamMark(0, hashes[0]);
    for (uint32_t t = 0; t < turns; t++) {
        uint8_t held = t % 700 < 650 ? 15 : 5; // slots 1 and 3 leave and come back
        for (int i = 0; i < MAX_CLIENTS; i++)
            net_client_msg[i * CLIENT_SLOT + 1] = (held >> i & 1) ? (uint8_t)(t / (3 + i) % 9) : 0;
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

} // namespace
