// Records of on-line games: the world hash sees every field of the world,
// and a replay refuses a record whose turns are out of order or name a slot
// beyond its players, and stands a creature whose player has left; a jump
// lands on a snapshot's world and command slots, checked by its hash.
#include <signal.h>
#include <sys/resource.h>

#include "math/fnv.h"
#include "wire/bytes.h"
#include "wire/records.h"

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

// Writes a record of the shipped data (the working folder) for players.
void Write(const std::string &path, uint8_t players, const std::vector<Turn> &turns,
           int version = RECORD_VERSION) {
    WriteGame(path, players, turns, version);
}

// Turns 0 .. n - 1, both of two slots held, slot 0 walking right.
std::vector<Turn> Walk(uint32_t n) {
    std::vector<Turn> turns;
    for (uint32_t t = 0; t < n; t++)
        turns.push_back({t, 3, {3, 0, 0, 0}});
    return turns;
}

TEST(Record, TurnsOutOfOrderAndSlotsBeyondThePlayersAreRefused) {
    // Version 1 records number their turns.
    std::string dir = TempDir(), rec = dir + "/game.rec";
    Write(rec, 2, Walk(6), 1);
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
        Write(rec, 2, turns, 1);
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

// The same game written as version 1 and version 2 replays to the same
// hashes; version 2 takes at most 16 bytes a turn of two players that
// seldom change their commands; damage to a version 2 record is named at
// the turn where it lies.
TEST(Record, BothVersionsReplayAlikeAndDamageIsNamedAtItsTurn) {
    std::string dir = TempDir(), v1 = dir + "/v1.rec", rec = dir + "/v2.rec";
    std::vector<Turn> game = Walk(1500);
    for (uint32_t t = 0; t < 1500; t++)
        game[t].move[1] = (uint8_t)(t / 50 % 9);
    Write(v1, 2, game, 1);
    std::vector<long> at = WriteGame(rec, 2, game);
    ASSERT_EQ(Replay(v1, DataDir(), 100, dir), 0) << ReadFile(dir + "/replay.err");
    std::map<unsigned, std::string> hashes = HashLines(ReadFile(dir + "/replay.out"));
    ASSERT_EQ(Replay(rec, DataDir(), 100, dir), 0) << ReadFile(dir + "/replay.err");
    EXPECT_EQ(HashLines(ReadFile(dir + "/replay.out")), hashes);
    EXPECT_EQ(hashes.size(), 15u);
    EXPECT_LE((at[1500] - at[1]) / 1499.0, 16.0);

    std::string whole = ReadFile(rec);
    auto entry = [&](uint32_t t) { return whole.substr(at[t], at[t + 1] - at[t]); };
    struct Damage {
        std::string bytes, says;
    } cases[] = {
        {whole.substr(0, at[100] + 3), "cut short at turn 100"},
        {whole.substr(0, at[101]), "cut short at turn 101"},
        {whole.substr(0, at[51] - 1) + "\x5a" + whole.substr(at[51]), "corrupted at turn 50"},
        {whole.substr(0, at[50]) + whole.substr(at[51]), "corrupted at turn 50"},
        {whole.substr(0, at[51]) + entry(50) + whole.substr(at[51]), "corrupted at turn 51"},
        {whole.substr(0, at[1000] + 30) + "\x01" + whole.substr(at[1000] + 31),
         "corrupted at turn 1000"},
        {whole + "x", "corrupted at turn 1500"},
    };
    for (const Damage &d : cases) {
        WriteFile(rec, d.bytes);
        EXPECT_EQ(Replay(rec, DataDir(), 0, dir), 1) << d.says;
        std::string err = ReadFile(dir + "/replay.err");
        EXPECT_NE(err.find(d.says), std::string::npos) << d.says << ": " << err;
    }
}

// Opens a record and starts its world afresh, as a watch does.
FILE *OpenFresh(const std::string &rec) {
    FILE *f = RecordOpenRead("test", rec.c_str());
    int players, setup;
    if (f && !RecordReadHeader(f, "test", rec.c_str(), &players, &setup)) {
        fclose(f);
        return nullptr;
    }
    turn = npcs = rnd_seed = 0;
    memset(npc_vis, 0, sizeof npc_vis);
    StartWorld(players, setup);
    return f;
}

// Runs a record's turns until the turn counter is `until` or a fault.
void RunTo(FILE *f, uint32_t until) {
    while (turn < until && RecordReadTurn(f, 2) == RECORD_TURN)
        ProcGameServer();
}

// A jump lands on a snapshot with its world and command slots (slot 1 is
// empty around each snapshot, busy elsewhere), so the turns after it run as
// before; a snapshot whose hash is not its world's is refused.
TEST(Record, JumpsGiveTheSnapshotsWorldAndSlotsAndCheckItsHash) {
    std::string dir = TempDir(), rec = dir + "/game.rec";
    std::vector<Turn> game = Walk(2400);
    for (uint32_t t = 0; t < game.size(); t++)
        game[t].move[1] = (t + 10) % 1000 < 20 ? 0 : t % 2 ? 3 : 7;
    std::vector<long> at = WriteGame(rec, 2, game);
    FILE *f = OpenFresh(rec);
    ASSERT_TRUE(f);
    std::vector<uint64_t> hash = {WorldHash()};
    for (; turn < 2300; hash.push_back(WorldHash())) {
        ASSERT_EQ(RecordReadTurn(f, 2), RECORD_TURN);
        ProcGameServer();
    }
    const std::pair<uint32_t, uint32_t> jumps[] = {{1500, 1000}, {2100, 2000}, {999, 0}};
    for (auto [target, snapshot] : jumps) { // from 2300, 1500 and 2100
        ASSERT_EQ(RecordJump(f, 2, target), RECORD_TURN) << target;
        EXPECT_EQ(turn, snapshot);
        EXPECT_EQ(WorldHash(), hash[turn]) << target;
        RunTo(f, target);
        ASSERT_EQ(turn, target);
        EXPECT_EQ(WorldHash(), hash[target]) << target;
    }
    fclose(f);

    std::string bytes = ReadFile(rec);
    uint8_t *s = (uint8_t *)&bytes[(size_t)at[1000]];
    size_t size = GetBE16(s + 1);
    s[18] ^= 1; // the hash, its check made good
    PutBE32(s + 19 + size, Fnv32(s, 19 + size));
    WriteFile(rec, bytes);
    f = OpenFresh(rec);
    ASSERT_TRUE(f);
    RunTo(f, 500);
    EXPECT_EQ(RecordJump(f, 2, 1500), RECORD_CORRUPT);
    fclose(f);
}

// A server of 30 turns with its files limited to `limit` bytes, a write past
// it failing rather than raising SIGXFSZ; its exit status. The limit and the
// ignored signal are set here and inherited by the child, so that the server
// runs as any other (also under an emulator).
int LimitedServer(const std::string &dir, const std::string &rec, long limit) {
    struct rlimit old, lim = {(rlim_t)limit, (rlim_t)limit};
    getrlimit(RLIMIT_FSIZE, &old);
    lim.rlim_max = old.rlim_max;
    setrlimit(RLIMIT_FSIZE, &lim);
    void (*was)(int) = signal(SIGXFSZ, SIG_IGN);
    pid_t pid = StartProgram({BuildProgram("marrowdigger-server"), "--data", DataDir(), "--bind",
                              "127.0.0.1", "--port", "0", "--players", "1", "--turn-ms", "1",
                              "--turns", "30", "--record", rec},
                             "", dir + "/limited.err");
    signal(SIGXFSZ, was);
    setrlimit(RLIMIT_FSIZE, &old);
    return ExitStatus(pid, 20000);
}

TEST(Record, KilledServerLosesNoTurnAndAFailedEndIsAFailure) {
    std::string dir = TempDir(), rec = dir + "/game.rec";
    Server s;
    ASSERT_TRUE(
        StartServer(s, dir, "server",
                    {"--players", "1", "--turn-ms", "2", "--hash-every", "100", "--record", rec}));
    EXPECT_TRUE(AwaitText(s.out, "turn 300 hash", 20000));
    kill(s.pid, SIGKILL);
    WaitServer(s, 10000);
    EXPECT_EQ(Replay(rec, DataDir(), 100, dir), 1);
    EXPECT_NE(ReadFile(dir + "/replay.err").find("cut short at turn"), std::string::npos);
    std::map<unsigned, std::string> live = HashLines(ReadFile(s.out)),
                                    again = HashLines(ReadFile(dir + "/replay.out"));
    for (unsigned t : {100u, 200u, 300u})
        EXPECT_EQ(again[t], live[t]) << t; // every turn the server ran is there

    ASSERT_EQ(LimitedServer(dir, dir + "/whole.rec", 1 << 20), 0);
    long size = (long)ReadFile(dir + "/whole.rec").size();
    EXPECT_EQ(LimitedServer(dir, dir + "/short.rec", size - 1), 1); // the end entry's last byte
    EXPECT_NE(ReadFile(dir + "/limited.err").find("cannot write the record"), std::string::npos);
    EXPECT_EQ((long)ReadFile(dir + "/short.rec").size(), size - 1);
}

} // namespace
