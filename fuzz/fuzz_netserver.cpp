// Fuzzes the server's handling of client traffic: a random sequence of
// connections, leaves and messages of random bytes from up to eight peers
// (and numbers outside the table). After every step the tables must agree
// with each other, a message may change no command slot but its sender's
// own, and every message not acted on must be counted as dropped.
//
// Tokens and command numbers are checked too: a hello with the token of a
// held or kept slot gets that slot, a command's number is the slot's, and
// after a turn every held slot is cleared with its command counted applied.
//
// Input: byte 0 picks the players (1..4, low 2 bits) and the follower
// places (0..3, the next 2 bits); then steps of one byte each, peer = low 4
// bits (8..15 are no connection), bit 4 = the variant, action = high bits:
// 0..3 a message of the next byte's value (times 3 for action 3) in length,
// taken from the bytes after it (variant: a hello carries the token of the
// slot the byte after the length picks); 4..5 a join (variant: a turn, and
// the clock moves on by the next byte times 256 ms); 6..7 a leave (variant:
// a connection lost without a goodbye).
#include <string.h>

#include "fuzzsupport.h"
#include "net/netserver.h"
#include "wire/protocol.h"
#include "world/world.h"

// The tables agree: a slot is held by a player connection that names it
// back; slots beyond the players are never held; a free slot's command is
// zero.
static void CheckTables() {
    for (int i = 0; i < MAX_CLIENTS; i++) {
        int c = net_server.slot_conn[i];
        for (int j = 0; j < i; j++)
            FUZZ_CHECK(net_server.slot_token[i] == 0 ||
                       net_server.slot_token[i] != net_server.slot_token[j]);
        FUZZ_CHECK(!(net_server.slot_kept[i] && c >= 0));
        if (c < 0) {
            for (int b = 0; b < CLIENT_SLOT; b++)
                FUZZ_CHECK(net_client_msg[i * CLIENT_SLOT + b] == 0);
            continue;
        }
        FUZZ_CHECK(i < net_server.players);
        FUZZ_CHECK(c < NET_MAX_CONNS);
        FUZZ_CHECK(net_server.conn_state[c] == CONN_PLAYER && net_server.conn_slot[c] == i);
    }
    for (int c = 0; c < NET_MAX_CONNS; c++) {
        FUZZ_CHECK(net_server.conn_state[c] <= CONN_SILENT);
        FUZZ_CHECK((net_server.conn_state[c] == CONN_PLAYER) == (net_server.conn_slot[c] >= 0));
        if (net_server.conn_slot[c] >= 0)
            FUZZ_CHECK(net_server.conn_slot[c] < MAX_CLIENTS &&
                       net_server.slot_conn[net_server.conn_slot[c]] == c);
    }
    FUZZ_CHECK(NetFollowerCount() <= net_server.followers);
}

// Sum of the drop counters.
static uint32_t Drops() {
    uint32_t n = 0;
    for (uint32_t d : net_dropped)
        n += d;
    return n;
}

// A turn: every held slot's command is applied once and cleared.
static void Turn() {
    NetServerTurnDone();
    for (int i = 0; i < MAX_CLIENTS; i++) {
        if (net_server.slot_conn[i] < 0)
            continue;
        FUZZ_CHECK(net_server.slot_applied[i] == net_server.slot_seq[i]);
        for (int b = 0; b < CLIENT_SLOT; b++)
            FUZZ_CHECK(net_client_msg[i * CLIENT_SLOT + b] == 0);
    }
}

// Checks one answered hello: a token that names a held slot, or a slot
// kept for it, gets that slot back; a welcome tells the slot's token.
static void CheckHello(size_t n, const uint8_t *reply, int held_by_token) {
    if (reply[0] != MSG_WELCOME)
        return;
    FUZZ_CHECK(n == MSG_HELLO_SIZE);
    if (held_by_token >= 0)
        FUZZ_CHECK(reply[1] == held_by_token);
    FUZZ_CHECK(GetBE64(reply + 8) == net_server.slot_token[reply[1]]);
    FUZZ_CHECK(GetBE32(reply + 16) == net_server.slot_applied[reply[1]]);
}

// The slot a hello's token may take: held now or kept within the time.
static int TokenSlot(const uint8_t *msg, size_t n) {
    if (n != MSG_HELLO_SIZE || msg[0] != MSG_HELLO)
        return -1;
    uint64_t t = GetBE64(msg + 7);
    for (int i = 0; t != 0 && i < net_server.players; i++)
        if (net_server.slot_token[i] == t &&
            (net_server.slot_conn[i] >= 0 ||
             (net_server.slot_kept[i] &&
              net_server.clock - net_server.slot_lost_at[i] < NET_KEEP_MS)))
            return i;
    return -1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    memset(net_client_msg, 0, sizeof net_client_msg);
    memset(net_dropped, 0, sizeof net_dropped);
    NetServerReset(1 + data[0] % MAX_CLIENTS);
    net_server.followers = (uint8_t)((data[0] >> 2) & 3);
    net_server.clock = 0;
    uint64_t tokens = 0; // tokens handed out, for fresh distinct ones
    static uint8_t before[sizeof net_client_msg];
    static uint8_t msg[4096];
    size_t i = 1;
    while (i < size) {
        int peer = data[i] & 15;
        if (peer >= 8)
            peer += NET_MAX_CONNS - 8; // past the table
        bool variant = data[i] & 16;
        int action = data[i] >> 5;
        i++;
        if (action >= 6) {
            if (variant)
                NetServerLost(peer);
            else
                NetServerLeave(peer);
        } else if (action >= 4 && variant) {
            Turn();
            net_server.clock += 256u * (i < size ? data[i++] : 0);
        } else if (action >= 4) {
            NetServerJoin(peer);
        } else {
            size_t n = i < size ? data[i++] : 0;
            if (action == 3)
                n *= 3;
            int pick = variant && i < size ? data[i++] % MAX_CLIENTS : -1;
            if (n > size - i)
                n = size - i;
            memcpy(msg, data + i, n);
            if (pick >= 0 && n == MSG_HELLO_SIZE)
                PutBE64(msg + 7, net_server.slot_token[pick]);
            if (net_server.fresh_token == 0)
                net_server.fresh_token = 0x5eed000000000000ull + ++tokens;
            int by_token = TokenSlot(msg, n);
            int state = peer < NET_MAX_CONNS ? net_server.conn_state[peer] : CONN_FREE;
            int slot = peer < NET_MAX_CONNS ? net_server.conn_slot[peer] : -1;
            uint32_t drops = Drops();
            memcpy(before, net_client_msg, sizeof before);
            uint8_t reply[MSG_REPLY_MAX];
            bool close = false;
            size_t r = NetServerMessage(peer, msg, n, reply, &close);
            for (int s = 0; s < MAX_CLIENTS; s++)
                if (s != slot && s != (r && reply[0] == MSG_WELCOME ? reply[1] : -1))
                    FUZZ_CHECK(memcmp(before + s * CLIENT_SLOT, net_client_msg + s * CLIENT_SLOT,
                                      CLIENT_SLOT) == 0);
            bool applied = state == CONN_PLAYER && n == MSG_COMMAND_SIZE && msg[0] == MSG_COMMAND;
            if (applied) {
                FUZZ_CHECK(memcmp(net_client_msg + slot * CLIENT_SLOT, msg + MSG_COMMAND_HEAD,
                                  CLIENT_SLOT) == 0);
                FUZZ_CHECK(net_server.slot_seq[slot] == GetBE32(msg + 1));
            }
            if (r) {
                FUZZ_CHECK(state == CONN_WAITING && n >= MSG_HELLO_V1_SIZE);
                CheckHello(n, reply, by_token);
                FUZZ_CHECK((reply[0] == MSG_WELCOME && r == MSG_WELCOME_SIZE &&
                            data[i] == MSG_HELLO && reply[1] < net_server.players && !close) ||
                           (reply[0] == MSG_FOLLOW && r == MSG_FOLLOW_SIZE &&
                            data[i] == MSG_FOLLOW_ASK &&
                            net_server.conn_state[peer] == CONN_FOLLOWER &&
                            reply[1] == net_server.players && !close) ||
                           (reply[0] == MSG_REFUSE && r == MSG_REFUSE_SIZE && close));
            }
            // Anything from a connection that was neither answered nor
            // applied is counted once; from no connection, not at all.
            uint32_t counted = Drops() - drops;
            if (state == CONN_FREE)
                FUZZ_CHECK(counted == 0);
            else
                FUZZ_CHECK(counted == (r || applied ? 0u : 1u));
            // The host ends a connection whose slot went to its token.
            for (int c = NetServerReplaced(); c >= 0; c = NetServerReplaced())
                FUZZ_CHECK(NetServerLeave(c) == -1);
            i += n;
        }
        CheckTables();
    }
    return 0;
}
