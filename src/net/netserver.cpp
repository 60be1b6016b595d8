// Connections and slots of the dedicated server, and the checks of every
// message a client sends. No ENet here: the host (serverhost.cpp) feeds in
// joins, leaves and message bytes, so the fuzzer can drive it directly.
#include "net/netserver.h"

#include <string.h>

NetServerState net_server;

void NetServerReset(int players) {
    if (players < 1)
        players = 1;
    if (players > MAX_CLIENTS)
        players = MAX_CLIENTS;
    net_server.players = (uint8_t)players;
    for (int c = 0; c < NET_MAX_CONNS; c++) {
        net_server.conn_state[c] = CONN_FREE;
        net_server.conn_slot[c] = -1;
        net_server.conn_ipv4[c] = 0;
    }
    net_server.fresh_token = 0;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        net_server.slot_conn[i] = -1;
        net_server.slot_seq[i] = net_server.slot_applied[i] = 0;
        net_server.slot_token[i] = 0;
        net_server.slot_kept[i] = net_server.slot_played[i] = 0;
        net_server.slot_ipv4[i] = 0;
    }
}

void NetServerJoin(int conn, uint32_t ipv4) {
    if (conn < 0 || conn >= NET_MAX_CONNS || net_server.conn_state[conn] != CONN_FREE)
        return;
    net_server.conn_state[conn] = CONN_WAITING;
    net_server.conn_slot[conn] = -1;
    net_server.conn_ipv4[conn] = ipv4;
    net_server.conn_heard[conn] = net_server.clock;
}

// A lost player's slot still waiting for its token.
static bool Kept(int slot) {
    return net_server.slot_kept[slot] &&
           net_server.clock - net_server.slot_lost_at[slot] < NET_KEEP_MS;
}

// Whether a slot is out of play: kept, or held by a player who has not
// played yet or has not been heard for NET_SILENT_MS.
static bool Idle(int slot) {
    int c = net_server.slot_conn[slot];
    if (c < 0)
        return Kept(slot);
    return !net_server.slot_played[slot] ||
           net_server.clock - net_server.conn_heard[c] >= NET_SILENT_MS;
}

// Slots of players from a known address ipv4: kept ones (kept set), else
// those out of play.
static int SlotsOf(uint32_t ipv4, bool kept) {
    int n = 0;
    for (int i = 0; ipv4 != 0 && i < MAX_CLIENTS; i++)
        if (net_server.slot_ipv4[i] == ipv4)
            n += kept ? Kept(i) : Idle(i);
    return n;
}

int NetServerLeave(int conn) {
    if (conn < 0 || conn >= NET_MAX_CONNS)
        return -1;
    int slot = net_server.conn_slot[conn];
    net_server.conn_state[conn] = CONN_FREE;
    net_server.conn_slot[conn] = -1;
    if (slot < 0 || slot >= MAX_CLIENTS || net_server.slot_conn[slot] != conn)
        return -1;
    net_server.slot_conn[slot] = -1;
    memset(net_client_msg + slot * CLIENT_SLOT, 0, CLIENT_SLOT);
    return slot;
}

int NetServerLost(int conn) {
    int slot = NetServerLeave(conn);
    if (slot >= 0 && net_server.slot_token[slot] != 0 && net_server.slot_played[slot] &&
        SlotsOf(net_server.slot_ipv4[slot], true) < NET_KEPT_PER_ADDRESS) {
        net_server.slot_kept[slot] = 1;
        net_server.slot_lost_at[slot] = net_server.clock;
    }
    return slot;
}

void NetServerClock(uint32_t now) {
    net_server.clock = now;
    for (int i = 0; i < MAX_CLIENTS; i++)
        if (net_server.slot_kept[i] && now - net_server.slot_lost_at[i] >= NET_KEEP_MS)
            net_server.slot_kept[i] = 0;
}

int NetServerReplaced() {
    for (int c = 0; c < NET_MAX_CONNS; c++)
        if (net_server.conn_state[c] == CONN_REPLACED || net_server.conn_state[c] == CONN_SILENT)
            return c;
    return -1;
}

void NetServerTurnDone() {
    for (int i = 0; i < MAX_CLIENTS; i++) {
        if (net_server.slot_conn[i] < 0)
            continue;
        net_server.slot_applied[i] = net_server.slot_seq[i];
        memset(net_client_msg + i * CLIENT_SLOT, 0, CLIENT_SLOT);
    }
}

// The slot of a token: one held now (its old connection is to be ended) or
// one kept since its connection was lost; -1 for none.
static int TokenSlot(uint64_t token) {
    if (token == 0)
        return -1;
    for (int i = 0; i < net_server.players; i++) {
        if (net_server.slot_token[i] != token || !(net_server.slot_conn[i] >= 0 || Kept(i)))
            continue;
        int old = net_server.slot_conn[i];
        if (old >= 0) {
            net_server.conn_state[old] = CONN_REPLACED;
            net_server.conn_slot[old] = -1;
            net_server.slot_conn[i] = -1;
        }
        return i;
    }
    return -1;
}

// The lowest slot on offer that nobody holds and no lost player waits for,
// given a fresh token and command numbering; or -1, also for a new player
// of an address whose lost players keep their share of slots, or that has
// its share of slots out of play.
static int FreeSlot(uint32_t ipv4) {
    if (SlotsOf(ipv4, true) >= NET_KEPT_PER_ADDRESS || SlotsOf(ipv4, false) >= NET_IDLE_PER_ADDRESS)
        return -1;
    for (int i = 0; i < net_server.players; i++) {
        if (net_server.slot_conn[i] >= 0 || Kept(i))
            continue;
        net_server.slot_token[i] = net_server.fresh_token;
        net_server.fresh_token = 0;
        net_server.slot_seq[i] = net_server.slot_applied[i] = 0;
        net_server.slot_played[i] = 0;
        return i;
    }
    return -1;
}

// No slot is free: the slots of players not heard for NET_SILENT_MS go as
// if their links were lost, and their connections are to be ended.
// Whether any went.
static bool DropSilent() {
    bool any = false;
    for (int i = 0; i < net_server.players; i++) {
        int c = net_server.slot_conn[i];
        if (c < 0 || net_server.clock - net_server.conn_heard[c] < NET_SILENT_MS)
            continue;
        NetServerLost(c);
        net_server.conn_state[c] = CONN_SILENT;
        any = true;
    }
    return any;
}

// Writes a refusal for the given reason and marks the connection refused.
static size_t Refuse(int conn, uint8_t reason, uint8_t *reply, bool *close) {
    reply[0] = MSG_REFUSE;
    reply[1] = reason;
    PutBE16(reply + 2, NET_VERSION);
    net_server.conn_state[conn] = CONN_REFUSED;
    *close = true;
    return MSG_REFUSE_SIZE;
}

// Answers a hello (at least MSG_HELLO_V1_SIZE bytes): a welcome with the
// slot of its token or the lowest free slot, or a refusal.
static size_t Hello(int conn, const uint8_t *msg, size_t n, uint8_t *reply, bool *close) {
    if (memcmp(msg + 1, NET_MAGIC, 4) != 0) {
        net_dropped[DROP_HELLO]++;
        return 0;
    }
    if (GetBE16(msg + 5) != NET_VERSION)
        return Refuse(conn, REFUSE_VERSION, reply, close);
    if (n != MSG_HELLO_SIZE) {
        net_dropped[DROP_SIZE]++;
        return 0;
    }
    int slot = TokenSlot(GetBE64(msg + 7));
    if (slot < 0)
        slot = FreeSlot(net_server.conn_ipv4[conn]);
    if (slot < 0 && DropSilent())
        slot = FreeSlot(net_server.conn_ipv4[conn]);
    if (slot < 0)
        return Refuse(conn, REFUSE_FULL, reply, close);
    net_server.slot_ipv4[slot] = net_server.conn_ipv4[conn];
    net_server.conn_state[conn] = CONN_PLAYER;
    net_server.conn_slot[conn] = (int8_t)slot;
    net_server.slot_conn[slot] = (int8_t)conn;
    net_server.slot_kept[slot] = 0;
    memset(net_client_msg + slot * CLIENT_SLOT, 0, CLIENT_SLOT);
    reply[0] = MSG_WELCOME;
    reply[1] = (uint8_t)slot;
    reply[2] = net_server.players;
    reply[3] = 0;
    PutBE16(reply + 4, mapsizex[0]);
    PutBE16(reply + 6, mapsizey[0]);
    PutBE64(reply + 8, net_server.slot_token[slot]);
    PutBE32(reply + 16, net_server.slot_applied[slot]);
    PutBE64(reply + 20, net_server.game_id);
    return MSG_WELCOME_SIZE;
}

int NetFollowerCount() {
    int n = 0;
    for (int c = 0; c < NET_MAX_CONNS; c++)
        n += net_server.conn_state[c] == CONN_FOLLOWER;
    return n;
}

// Answers a follow request (at least MSG_HELLO_V1_SIZE bytes): the follower
// welcome that starts the stream, or a refusal. A request without the data
// hash is of an earlier version.
static size_t Follow(int conn, const uint8_t *msg, size_t n, uint8_t *reply, bool *close) {
    if (memcmp(msg + 1, NET_MAGIC, 4) != 0) {
        net_dropped[DROP_HELLO]++;
        return 0;
    }
    bool ours = GetBE16(msg + 5) == NET_VERSION && n == MSG_FOLLOW_ASK_SIZE;
    uint8_t why = !ours                                        ? REFUSE_VERSION
                  : net_server.followers == 0                  ? REFUSE_NO_FOLLOWERS
                  : GetBE64(msg + 7) != net_server.data_hash   ? REFUSE_OTHER_DATA
                  : NetFollowerCount() >= net_server.followers ? REFUSE_FOLLOWERS_FULL
                                                               : 0;
    if (why)
        return Refuse(conn, why, reply, close);
    net_server.conn_state[conn] = CONN_FOLLOWER;
    reply[0] = MSG_FOLLOW;
    reply[1] = net_server.players;
    reply[2] = net_server.setup;
    PutBE16(reply + 3, net_server.follow_delay);
    PutBE32(reply + 5, turn);
    PutBE64(reply + 9, net_server.data_hash);
    return MSG_FOLLOW_SIZE;
}

size_t NetServerMessage(int conn, const uint8_t *msg, size_t n, uint8_t *reply, bool *close) {
    *close = false;
    if (conn < 0 || conn >= NET_MAX_CONNS || net_server.conn_state[conn] == CONN_FREE)
        return 0; // no such connection: nothing to count it against
    net_server.conn_heard[conn] = net_server.clock;
    if (n >= MSG_HELLO_V1_SIZE && msg[0] == MSG_HELLO &&
        net_server.conn_state[conn] == CONN_WAITING)
        return Hello(conn, msg, n, reply, close);
    if (n >= MSG_HELLO_V1_SIZE && n <= MSG_FOLLOW_ASK_SIZE && msg[0] == MSG_FOLLOW_ASK &&
        net_server.conn_state[conn] == CONN_WAITING)
        return Follow(conn, msg, n, reply, close);
    int slot = net_server.conn_slot[conn];
    if (n == MSG_COMMAND_SIZE && msg[0] == MSG_COMMAND &&
        net_server.conn_state[conn] == CONN_PLAYER && slot >= 0 && slot < MAX_CLIENTS &&
        net_server.slot_conn[slot] == conn) {
        net_server.slot_seq[slot] = GetBE32(msg + 1);
        net_server.slot_played[slot] = 1;
        memcpy(net_client_msg + slot * CLIENT_SLOT, msg + MSG_COMMAND_HEAD, CLIENT_SLOT);
        return 0;
    }
    // Server-to-client types never come this way.
    uint8_t type = n > 0 ? msg[0] : 0;
    bool back = type == MSG_WELCOME || type == MSG_REFUSE || type == MSG_PACKAGE ||
                type == MSG_FOLLOW || type == MSG_STREAM || type == MSG_SNAPSHOT;
    bool sized = n == NetMessageSize(type) ||
                 (type == MSG_STREAM && n >= 2 && n <= MSG_STREAM_MAX) ||
                 (type == MSG_SNAPSHOT && n > MSG_SNAPSHOT_HEAD && n <= MSG_SNAPSHOT_MAX);
    if (back && sized)
        net_dropped[DROP_TYPE]++;
    else
        NetCountDrop(msg, n);
    return 0;
}

uint8_t NetHeldSlots() {
    uint8_t mask = 0;
    for (int i = 0; i < MAX_CLIENTS; i++)
        if (net_server.slot_conn[i] >= 0)
            mask |= (uint8_t)(1 << i);
    return mask;
}

#define ROOM_HASH (2 * NET_MAX_CONNS) // places of the count of spare peers per address

int NetRoomChoice(const uint32_t *address, const uint32_t *order, const uint8_t *spare, int n) {
    uint32_t host_of[ROOM_HASH];       // address of each place, by its hash
    uint8_t count[ROOM_HASH] = {};     // spare peers of that address, 0: place free
    uint8_t place[NET_MAX_CONNS] = {}; // place of each spare peer's address
    for (int i = 0; i < n && i < NET_MAX_CONNS; i++) {
        if (!spare[i])
            continue;
        uint32_t k = (address[i] * 2654435761u) % ROOM_HASH;
        while (count[k] && host_of[k] != address[i])
            k = (k + 1) % ROOM_HASH;
        host_of[k] = address[i];
        count[k]++;
        place[i] = (uint8_t)k;
    }
    int oldest = -1, crowd = 0; // the one chosen, and the spare peers of its address
    for (int i = 0; i < n && i < NET_MAX_CONNS; i++) {
        if (!spare[i])
            continue;
        int c = count[place[i]];
        if (oldest < 0 || c > crowd || (c == crowd && (int32_t)(order[i] - order[oldest]) < 0)) {
            oldest = i;
            crowd = c;
        }
    }
    return oldest;
}
