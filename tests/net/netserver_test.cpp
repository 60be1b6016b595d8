// The server's checks of client messages, without a network: slots handed
// out and refused, commands landing only in the sender's own slot, leaves
// freeing slots, and everything malformed dropped and counted.
#include <gtest/gtest.h>
#include <string.h>

#include "net/netserver.h"
#include "wire/protocol.h"
#include "world/world.h"

namespace {

// A hello with the given version and token.
std::vector<uint8_t> Hello(uint16_t version = NET_VERSION, uint64_t token = 0) {
    std::vector<uint8_t> m(MSG_HELLO_SIZE);
    NetMakeHello(m.data(), token);
    PutBE16(&m[5], version);
    return m;
}

// A command whose move code is move, the rest of the slot filled with fill.
std::vector<uint8_t> Command(uint8_t move, uint8_t fill = 0, uint32_t seq = 1) {
    std::vector<uint8_t> m(MSG_COMMAND_SIZE, fill);
    m[0] = MSG_COMMAND;
    PutBE32(&m[1], seq);
    m[MSG_COMMAND_HEAD] = 1;
    m[MSG_COMMAND_HEAD + 1] = move;
    return m;
}

// Feeds one message of a connection; gives the answer's bytes.
std::vector<uint8_t> Feed(int conn, const std::vector<uint8_t> &m, bool *close = nullptr) {
    uint8_t reply[MSG_REPLY_MAX];
    bool c = false;
    size_t n = NetServerMessage(conn, m.data(), m.size(), reply, &c);
    if (close)
        *close = c;
    return std::vector<uint8_t>(reply, reply + n);
}

uint32_t Dropped() {
    uint32_t n = 0;
    for (uint32_t d : net_dropped)
        n += d;
    return n;
}

TEST(NetServer, SlotsGivenLowestFirstThenRefusedAndRetaken) {
    mapsizex[0] = 95;
    mapsizey[0] = 63;
    NetServerReset(2);
    for (int c = 0; c < 4; c++)
        NetServerJoin(c);
    std::vector<uint8_t> w = Feed(2, Hello());
    ASSERT_EQ(w.size(), (size_t)MSG_WELCOME_SIZE);
    EXPECT_EQ(w[0], MSG_WELCOME);
    EXPECT_EQ(w[1], 0);
    EXPECT_EQ(w[2], 2);
    EXPECT_EQ(GetBE16(&w[4]), 95);
    EXPECT_EQ(GetBE16(&w[6]), 63);
    EXPECT_EQ(Feed(0, Hello())[1], 1);
    EXPECT_EQ(NetHeldSlots(), 3);

    bool close = false;
    std::vector<uint8_t> r = Feed(1, Hello(), &close);
    ASSERT_EQ(r.size(), (size_t)MSG_REFUSE_SIZE);
    EXPECT_EQ(r[1], REFUSE_FULL);
    EXPECT_TRUE(close);
    r = Feed(3, Hello(NET_VERSION + 1), &close);
    EXPECT_EQ(r[1], REFUSE_VERSION);
    EXPECT_EQ(GetBE16(&r[2]), NET_VERSION);
    EXPECT_TRUE(close);

    // Slot 0's holder leaves with a command set: the slot is cleared and free.
    Feed(2, Command(3, 0xAA));
    EXPECT_EQ(NetServerLeave(2), 0);
    for (int i = 0; i < CLIENT_SLOT; i++)
        EXPECT_EQ(net_client_msg[i], 0) << i;
    EXPECT_EQ(NetHeldSlots(), 2);
    NetServerJoin(5);
    EXPECT_EQ(Feed(5, Hello())[1], 0);
    EXPECT_EQ(Dropped(), 0u);
}

TEST(NetServer, CommandsReachOnlyTheSendersOwnSlot) {
    NetServerReset(4);
    for (int c = 0; c < 3; c++) {
        NetServerJoin(c);
        Feed(c, Hello());
    }
    Feed(1, Command(7, 0x55));
    EXPECT_EQ(net_client_msg[1 * CLIENT_SLOT + 0], 1);
    EXPECT_EQ(net_client_msg[1 * CLIENT_SLOT + 1], 7);
    EXPECT_EQ(net_client_msg[1 * CLIENT_SLOT + 127], 0x55);
    for (int s = 0; s < MAX_CLIENTS; s++) {
        if (s == 1)
            continue;
        for (int i = 0; i < CLIENT_SLOT; i++)
            ASSERT_EQ(net_client_msg[s * CLIENT_SLOT + i], 0) << s << " " << i;
    }
    // A move code above 8 is carried as it is: the turn treats it as no move.
    Feed(2, Command(200));
    EXPECT_EQ(net_client_msg[2 * CLIENT_SLOT + 1], 200);
}

TEST(NetServer, MalformedAndOutOfTurnMessagesAreDroppedAndCounted) {
    NetServerReset(1);
    NetServerJoin(0);
    NetServerJoin(1);
    uint8_t before[sizeof net_client_msg];
    // Before the hello a command is out of turn.
    Feed(0, Command(3));
    EXPECT_EQ(net_dropped[DROP_ORDER], 1u);
    Feed(0, Hello());
    memcpy(before, net_client_msg, sizeof before);

    std::vector<uint8_t> shortcmd = Command(3);
    shortcmd.pop_back();
    std::vector<uint8_t> forged = Command(3);
    forged.insert(forged.begin() + 1, 3); // a slot number in front of the command
    Feed(0, shortcmd);
    Feed(0, forged);
    Feed(0, std::vector<uint8_t>());                   // empty
    Feed(0, std::vector<uint8_t>(MSG_HELLO_SIZE + 1)); // type 0, unknown
    Feed(0, std::vector<uint8_t>{99, 1, 2});           // unknown type
    std::vector<uint8_t> pkg(MSG_PACKAGE_SIZE);
    pkg[0] = MSG_PACKAGE; // a server-to-client type coming the wrong way
    Feed(0, pkg);
    EXPECT_EQ(net_dropped[DROP_SIZE], 3u);
    EXPECT_EQ(net_dropped[DROP_TYPE], 3u);
    Feed(0, Hello()); // a second hello
    EXPECT_EQ(net_dropped[DROP_ORDER], 2u);
    std::vector<uint8_t> bad = Hello();
    bad[1] = 'X';
    Feed(1, bad);
    EXPECT_EQ(net_dropped[DROP_HELLO], 1u);
    // A connection number outside the table, or not connected, changes nothing.
    Feed(NET_MAX_CONNS, Command(3));
    Feed(-1, Command(3));
    Feed(4, Command(3));
    EXPECT_EQ(memcmp(before, net_client_msg, sizeof before), 0);
    EXPECT_EQ(NetHeldSlots(), 1);
}

TEST(NetServer, TokensTakeTheirSlotsBackAndEachCommandIsAppliedOnce) {
    NetServerReset(2);
    for (int c = 0; c < 6; c++)
        NetServerJoin(c);
    net_server.fresh_token = 111;
    EXPECT_EQ(Feed(2, Hello())[1], 0); // connection numbers differ from slots
    net_server.fresh_token = 222;
    std::vector<uint8_t> w = Feed(3, Hello());
    EXPECT_EQ(w[1], 1);
    EXPECT_EQ(GetBE64(&w[8]), 222u);
    EXPECT_EQ(GetBE32(&w[16]), 0u);
    EXPECT_EQ(net_server.fresh_token, 0u); // used once

    // A command is applied at one turn, then the slot is clear.
    Feed(3, Command(5, 0, 7));
    EXPECT_EQ(net_server.slot_seq[1], 7u);
    EXPECT_EQ(net_client_msg[1 * CLIENT_SLOT + 1], 5);
    NetServerTurnDone();
    EXPECT_EQ(net_server.slot_applied[1], 7u);
    EXPECT_EQ(net_client_msg[1 * CLIENT_SLOT + 1], 0);

    // Lost without a goodbye: kept for its token, refused to others.
    net_server.clock = 1000;
    EXPECT_EQ(NetServerLost(3), 1);
    EXPECT_EQ(Feed(4, Hello())[1], REFUSE_FULL);
    NetServerLeave(4);
    NetServerJoin(4);
    w = Feed(4, Hello(NET_VERSION, 222));
    EXPECT_EQ(w[0], MSG_WELCOME);
    EXPECT_EQ(w[1], 1);
    EXPECT_EQ(GetBE64(&w[8]), 222u);
    EXPECT_EQ(GetBE32(&w[16]), 7u);
    Feed(4, Command(3, 0, 8));
    EXPECT_EQ(net_client_msg[1 * CLIENT_SLOT + 1], 3); // by slot, not connection

    // A token whose slot is held now (the same player, started again) takes
    // it; the old connection is to be ended.
    EXPECT_EQ(NetServerReplaced(), -1);
    EXPECT_EQ(Feed(5, Hello(NET_VERSION, 111))[1], 0);
    EXPECT_EQ(NetServerReplaced(), 2);
    EXPECT_EQ(NetServerLeave(2), -1);
    EXPECT_EQ(net_server.slot_conn[0], 5);

    // A kept slot is free again once its time is over; a wrong token is none.
    EXPECT_EQ(NetServerLost(4), 1);
    net_server.clock = 1000 + NET_KEEP_MS;
    NetServerJoin(0);
    net_server.fresh_token = 333;
    w = Feed(0, Hello(NET_VERSION, 222));
    EXPECT_EQ(w[1], 1);
    EXPECT_EQ(GetBE64(&w[8]), 333u);
    EXPECT_EQ(GetBE32(&w[16]), 0u);

    // A hello of the old version, 7 bytes long, is refused as such.
    NetServerJoin(1);
    std::vector<uint8_t> old = Hello(1);
    old.resize(MSG_HELLO_V1_SIZE);
    w = Feed(1, old);
    ASSERT_EQ(w.size(), (size_t)MSG_REFUSE_SIZE);
    EXPECT_EQ(w[1], REFUSE_VERSION);
    EXPECT_EQ(Dropped(), 0u);
}

// A player with a token, one command applied and the next on its way, whose
// connection then ends: lost (kept for the token), left politely, or lost,
// taken back with the token and then left. After `after` ms a newcomer gets
// the slot unless it is kept, and the token gets it back with the number of
// the last command applied, so the one on its way is sent again. The clock
// moves on by `after`, then by `then`: the last case comes round the 32-bit
// clock to 10 s after the loss, 49.7 days on.
TEST(NetServer, OnlyALostSlotIsKeptAndForThirtySeconds) {
    struct Case {
        bool lost, back_then_left;
        uint32_t after, then;
        bool kept;
    } cases[] = {{true, false, 10000, 0, true},
                 {true, false, 20000, 0, true},
                 {true, false, 29999, 0, true},
                 {true, false, 30000, 0, false},
                 {false, false, 0, 0, false},
                 {true, true, 0, 0, false},
                 {true, false, 30000, 0u - 20000u, false}};
    for (const Case &k : cases) {
        NetServerReset(1);
        for (int c = 0; c < 4; c++)
            NetServerJoin(c);
        net_server.clock = 5000;
        net_server.fresh_token = 77;
        Feed(0, Hello());
        Feed(0, Command(3, 0, 1));
        NetServerTurnDone();
        Feed(0, Command(3, 0, 2));
        k.lost ? NetServerLost(0) : NetServerLeave(0);
        if (k.back_then_left && Feed(1, Hello(NET_VERSION, 77))[0] == MSG_WELCOME)
            NetServerLeave(1);
        NetServerClock(net_server.clock + k.after);
        NetServerClock(net_server.clock + k.then);
        SCOPED_TRACE(testing::Message() << k.lost << k.back_then_left << " " << k.after);
        EXPECT_EQ(Feed(2, Hello())[0], k.kept ? MSG_REFUSE : MSG_WELCOME);
        std::vector<uint8_t> w = Feed(3, Hello(NET_VERSION, 77));
        EXPECT_EQ(w[0], k.kept ? MSG_WELCOME : MSG_REFUSE);
        if (k.kept) {
            EXPECT_EQ(GetBE32(&w[16]), 1u);
        }
    }
}

// Players from A and B join (played: sent a command), the lost drop, the
// clock moves on `quiet` ms; does a newcomer from C get in, and which silent
// player's connection (-1 none) is let go for it?
TEST(NetServer, KeptOnlyForPlayersWhoPlayedAndNoAddressFillsTheGame) {
    const uint32_t A = 0x0A000001, B = 0x0A000002;
    struct Case {
        int players;
        std::vector<uint32_t> from;
        std::vector<bool> played, lost;
        uint32_t quiet;
        bool newcomer_in;
        int let_go;
        uint32_t newcomer = 0x0A000003; // a third address
    } cases[] = {
        {1, {A}, {0}, {1}, 0, true, -1},                            // never played: free at once
        {1, {A}, {1}, {1}, 0, false, -1},                           // played: kept
        {1, {A}, {1}, {0}, 1999, false, -1},                        // heard lately: held
        {1, {A}, {1}, {0}, 2000, false, 0},                         // silent: let go, kept
        {1, {A}, {0}, {0}, 2000, true, 0},                          // silent, never played: free
        {3, {A, A, A}, {1, 1, 1}, {1, 1, 1}, 0, true, -1},          // two kept for one address
        {3, {A, B, A}, {1, 1, 1}, {1, 1, 1}, 0, false, -1},         // and one for another
        {4, {A, A, A, A}, {0, 0, 0, 0}, {0, 0, 0, 0}, 0, true, -1}, // A's fourth waits, C's is in
        {3, {A, A}, {1, 1}, {1, 1}, 0, false, -1, A}, // A's two kept: its new player waits
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(&k - cases);
        NetServerReset(k.players);
        net_server.clock = 1000;
        for (size_t c = 0; c < k.from.size(); c++) {
            NetServerJoin((int)c, k.from[c]);
            net_server.fresh_token = 100 + c;
            // A fourth of one address waits while its first three have not played.
            EXPECT_EQ(Feed((int)c, Hello())[0],
                      c == NET_IDLE_PER_ADDRESS && !k.played[0] ? MSG_REFUSE : MSG_WELCOME);
            if (k.played[c])
                Feed((int)c, Command(3));
        }
        for (size_t c = 0; c < k.from.size(); c++)
            if (k.lost[c])
                NetServerLost((int)c);
        NetServerClock(net_server.clock + k.quiet);
        NetServerJoin(10, k.newcomer);
        EXPECT_EQ(Feed(10, Hello())[0], k.newcomer_in ? MSG_WELCOME : MSG_REFUSE);
        EXPECT_EQ(NetServerReplaced(), k.let_go);
    }
}

// Room is made by ending the oldest spare peer of the address with the most,
// so that a crowd ends its own oldest and a newcomer never goes.
TEST(NetServer, MakeRoomEndsTheOldestSparePeerOfTheLargestCrowd) {
    const uint32_t A = 1, B = 2, C = 3;
    struct Case {
        const char *what;
        std::vector<uint32_t> address, order;
        std::vector<uint8_t> spare;
        int chosen;
    } cases[] = {
        {"oldest, not newest", {A, A, A, A}, {7, 5, 6, 8}, {1, 1, 1, 1}, 1},
        {"oldest across the clock's wrap", {A, A, A}, {1, 0xFFFFFFFEu, 2}, {1, 1, 1}, 1},
        {"the largest crowd first", {A, B, B, C}, {1, 4, 3, 2}, {1, 1, 1, 1}, 2},
        {"players and followers stay", {A, A, A}, {1, 2, 3}, {0, 0, 1}, 2},
        {"none spare", {A, B}, {1, 2}, {0, 0}, -1},
    };
    for (const Case &k : cases)
        EXPECT_EQ(
            NetRoomChoice(k.address.data(), k.order.data(), k.spare.data(), (int)k.address.size()),
            k.chosen)
            << k.what;
}

TEST(Net, AddressesAreParsedStrictly) {
    char host[16];
    uint16_t port = NET_DEFAULT_PORT;
    ASSERT_TRUE(NetParseAddress("127.0.0.1", host, sizeof host, &port));
    EXPECT_STREQ(host, "127.0.0.1");
    EXPECT_EQ(port, NET_DEFAULT_PORT);
    ASSERT_TRUE(NetParseAddress("localhost:9", host, sizeof host, &port));
    EXPECT_STREQ(host, "localhost");
    EXPECT_EQ(port, 9);
    const char *bad[] = {"",     ":7742",    "h:",
                         "h:0",  "h:65536",  "h:12x",
                         "h:-1", "h:123456", "a-name-far-too-long-for-the-buffer"};
    for (const char *b : bad)
        EXPECT_FALSE(NetParseAddress(b, host, sizeof host, &port)) << b;
}

} // namespace
