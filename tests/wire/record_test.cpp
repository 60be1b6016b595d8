// Records of on-line games: the world hash sees every field of the world,
// and a replay refuses a record whose turns are out of order or name a slot
// beyond its players, and stands a creature whose player has left.
#include "math/zmath.h"
#include "net/online.h"
#include "wire/record.h"
#include "world/worldhash.h"

namespace {

// Flips the first and the last byte of a field in turn: the world hash must
// change each time and come back when the byte does.
void ExpectSeen(void *field, size_t size, const char *name) {
    uint8_t *bytes = (uint8_t *)field;
    uint64_t base = WorldHash();
    for (size_t at : {(size_t)0, size - 1}) {
        bytes[at] ^= 0x21;
        EXPECT_NE(WorldHash(), base) << name << " byte " << at;
        bytes[at] ^= 0x21;
    }
    EXPECT_EQ(WorldHash(), base) << name;
}

TEST(Record, WorldHashSeesEveryFieldOfTheWorld) {
    ExpectSeen(map, sizeof map, "map");
    ExpectSeen(mapsizex, sizeof mapsizex, "mapsizex");
    ExpectSeen(mapsizey, sizeof mapsizey, "mapsizey");
    ExpectSeen(npc_vis, sizeof npc_vis, "npc_vis");
    ExpectSeen(npc_x, sizeof npc_x, "npc_x");
    ExpectSeen(npc_y, sizeof npc_y, "npc_y");
    ExpectSeen(npc_z, sizeof npc_z, "npc_z");
    ExpectSeen(npc_enabled, sizeof npc_enabled, "npc_enabled");
    ExpectSeen(npc_playercontrol, sizeof npc_playercontrol, "npc_playercontrol");
    ExpectSeen(npc_move, sizeof npc_move, "npc_move");
    ExpectSeen(npc_sight, sizeof npc_sight, "npc_sight");
    ExpectSeen(npc_char, sizeof npc_char, "npc_char");
    ExpectSeen(npc_color, sizeof npc_color, "npc_color");
    ExpectSeen(npc_str, sizeof npc_str, "npc_str");
    ExpectSeen(npc_dex, sizeof npc_dex, "npc_dex");
    ExpectSeen(npc_con, sizeof npc_con, "npc_con");
    ExpectSeen(npc_int, sizeof npc_int, "npc_int");
    ExpectSeen(npc_wis, sizeof npc_wis, "npc_wis");
    ExpectSeen(npc_cha, sizeof npc_cha, "npc_cha");
    ExpectSeen(&npcs, sizeof npcs, "npcs");
    ExpectSeen(&turn, sizeof turn, "turn");
    ExpectSeen(&rnd_seed, sizeof rnd_seed, "rnd_seed");
}

// One turn of a record: its number, the held slots and each slot's move.
struct Turn {
    uint32_t number;
    uint8_t held;
    uint8_t move[MAX_CLIENTS];
};

// Writes a record of the shipped data (the working folder) for players.
void Write(const std::string &path, uint8_t players, const std::vector<Turn> &turns) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(RecordHeader(f, DataHash(), players, SETUP_RESTART));
    for (const Turn &t : turns) {
        for (int i = 0; i < MAX_CLIENTS; i++) {
            net_client_msg[i * CLIENT_SLOT] = t.move[i] != 0;
            net_client_msg[i * CLIENT_SLOT + 1] = t.move[i];
        }
        ASSERT_TRUE(RecordTurn(f, t.number, t.held));
    }
    ASSERT_TRUE(RecordEnd(f, (uint32_t)turns.size()));
    fclose(f);
}

// Turns 0 .. n - 1, both of two slots held, slot 0 walking right.
std::vector<Turn> Walk(uint32_t n) {
    std::vector<Turn> turns;
    for (uint32_t t = 0; t < n; t++)
        turns.push_back({t, 3, {3, 0, 0, 0}});
    return turns;
}

TEST(Record, TurnsOutOfOrderAndSlotsBeyondThePlayersAreRefused) {
    std::string dir = TempDir(), rec = dir + "/game.rec";
    Write(rec, 2, Walk(6));
    ASSERT_EQ(Replay(rec, DataDir(), 0, dir), 0) << ReadFile(dir + "/replay.err");
    struct Case {
        std::vector<uint32_t> order;
        uint8_t held;
        std::string says;
    } cases[] = {
        {{0, 1, 1, 2}, 3, "corrupted at turn 2"}, // a turn twice
        {{0, 2, 3}, 3, "corrupted at turn 1"},    // a turn missing
        {{0, 2, 1, 3}, 3, "corrupted at turn 1"}, // two turns swapped
        {{0, 1}, 4, "corrupted at turn 0"},       // slot 2 of two players
    };
    for (const Case &c : cases) {
        std::vector<Turn> turns;
        for (uint32_t n : c.order)
            turns.push_back({n, c.held, {3, 0, 0, 0}});
        Write(rec, 2, turns);
        EXPECT_EQ(Replay(rec, DataDir(), 0, dir), 1) << c.says;
        std::string err = ReadFile(dir + "/replay.err");
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
    }
}

TEST(Record, ReplayedSlotOfALeftPlayerHoldsNoCommand) {
    // Slot 1 walks down in turn 0 and leaves; the same game with slot 1
    // still held but idle must reach the same world, turn for turn.
    std::string dir = TempDir(), left = dir + "/left.rec", idle = dir + "/idle.rec";
    std::vector<Turn> a = Walk(12), b = Walk(12);
    a[0].move[1] = b[0].move[1] = 5;
    for (size_t t = 1; t < a.size(); t++)
        a[t].held = 1;
    Write(left, 2, a);
    Write(idle, 2, b);
    ASSERT_EQ(Replay(left, DataDir(), 1, dir), 0) << ReadFile(dir + "/replay.err");
    std::map<unsigned, std::string> gone = HashLines(ReadFile(dir + "/replay.out"));
    ASSERT_EQ(Replay(idle, DataDir(), 1, dir), 0) << ReadFile(dir + "/replay.err");
    EXPECT_EQ(gone.size(), 12u);
    EXPECT_EQ(gone, HashLines(ReadFile(dir + "/replay.out")));
}

} // namespace
