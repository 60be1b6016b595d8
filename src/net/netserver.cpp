// Connections and slots of the dedicated server, and the checks of every
// message a client sends. No ENet here: the host (serverhost.cpp) feeds in
// joins, leaves and message bytes, so the fuzzer can drive it directly.
#include "net/netserver.h"

#include <string.h>

uint8_t conn_state[NET_MAX_CONNS];
int8_t conn_slot[NET_MAX_CONNS];
int8_t slot_conn[MAX_CLIENTS];
uint8_t net_players = MAX_CLIENTS;
uint8_t net_quiet;
uint8_t net_spectators;
uint16_t net_spectator_delay = 20;
uint8_t net_setup;
uint64_t net_data_hash;

void NetServerReset(int players) {
    if (players < 1)
        players = 1;
    if (players > MAX_CLIENTS)
        players = MAX_CLIENTS;
    net_players = (uint8_t)players;
    for (int c = 0; c < NET_MAX_CONNS; c++) {
        conn_state[c] = CONN_FREE;
        conn_slot[c] = -1;
    }
    for (int i = 0; i < MAX_CLIENTS; i++)
        slot_conn[i] = -1;
}

void NetServerJoin(int conn) {
    if (conn < 0 || conn >= NET_MAX_CONNS || conn_state[conn] != CONN_FREE)
        return;
    conn_state[conn] = CONN_WAITING;
    conn_slot[conn] = -1;
}

int NetServerLeave(int conn) {
    if (conn < 0 || conn >= NET_MAX_CONNS)
        return -1;
    int slot = conn_slot[conn];
    conn_state[conn] = CONN_FREE;
    conn_slot[conn] = -1;
    if (slot < 0 || slot >= MAX_CLIENTS || slot_conn[slot] != conn)
        return -1;
    slot_conn[slot] = -1;
    memset(net_client_msg + slot * CLIENT_SLOT, 0, CLIENT_SLOT);
    return slot;
}

// The lowest slot on offer that nobody holds, or -1.
static int FreeSlot() {
    for (int i = 0; i < net_players; i++)
        if (slot_conn[i] < 0)
            return i;
    return -1;
}

// Answers a hello: a welcome with the lowest free slot, or a refusal.
static size_t Hello(int conn, const uint8_t *msg, uint8_t *reply, bool *close) {
    if (memcmp(msg + 1, NET_MAGIC, 4) != 0) {
        net_dropped[DROP_HELLO]++;
        return 0;
    }
    int slot = FreeSlot();
    if (NetGet16(msg + 5) != NET_VERSION || slot < 0) {
        reply[0] = MSG_REFUSE;
        reply[1] = NetGet16(msg + 5) != NET_VERSION ? REFUSE_VERSION : REFUSE_FULL;
        NetPut16(reply + 2, NET_VERSION);
        conn_state[conn] = CONN_REFUSED;
        *close = true;
        return MSG_REFUSE_SIZE;
    }
    conn_state[conn] = CONN_PLAYER;
    conn_slot[conn] = (int8_t)slot;
    slot_conn[slot] = (int8_t)conn;
    memset(net_client_msg + slot * CLIENT_SLOT, 0, CLIENT_SLOT);
    reply[0] = MSG_WELCOME;
    reply[1] = (uint8_t)slot;
    reply[2] = net_players;
    reply[3] = 0;
    NetPut16(reply + 4, mapsizex[0]);
    NetPut16(reply + 6, mapsizey[0]);
    return MSG_WELCOME_SIZE;
}

int NetSpectatorCount() {
    int n = 0;
    for (int c = 0; c < NET_MAX_CONNS; c++)
        n += conn_state[c] == CONN_SPECTATOR;
    return n;
}

// Answers a spectate: the follow that starts the stream, or a refusal.
static size_t Spectate(int conn, const uint8_t *msg, uint8_t *reply, bool *close) {
    if (memcmp(msg + 1, NET_MAGIC, 4) != 0) {
        net_dropped[DROP_HELLO]++;
        return 0;
    }
    uint8_t why = NetGet16(msg + 5) != NET_VERSION        ? REFUSE_VERSION
                  : net_spectators == 0                   ? REFUSE_NO_SPECTATORS
                  : spec_full                             ? REFUSE_TOO_LONG
                  : NetSpectatorCount() >= net_spectators ? REFUSE_SPECTATORS_FULL
                                                          : 0;
    if (why) {
        reply[0] = MSG_REFUSE;
        reply[1] = why;
        NetPut16(reply + 2, NET_VERSION);
        conn_state[conn] = CONN_REFUSED;
        *close = true;
        return MSG_REFUSE_SIZE;
    }
    conn_state[conn] = CONN_SPECTATOR;
    reply[0] = MSG_FOLLOW;
    reply[1] = net_players;
    reply[2] = net_setup;
    NetPut16(reply + 3, net_spectator_delay);
    NetPut16(reply + 5, (uint16_t)(turn >> 16));
    NetPut16(reply + 7, (uint16_t)turn);
    for (int k = 0; k < 8; k++)
        reply[9 + k] = (uint8_t)(net_data_hash >> (56 - 8 * k));
    return MSG_FOLLOW_SIZE;
}

size_t NetServerMessage(int conn, const uint8_t *msg, size_t n, uint8_t *reply, bool *close) {
    *close = false;
    if (conn < 0 || conn >= NET_MAX_CONNS || conn_state[conn] == CONN_FREE)
        return 0; // no such connection: nothing to count it against
    if (n > 0 && n == MSG_HELLO_SIZE && msg[0] == MSG_HELLO && conn_state[conn] == CONN_WAITING)
        return Hello(conn, msg, reply, close);
    if (n == MSG_SPECTATE_SIZE && msg[0] == MSG_SPECTATE && conn_state[conn] == CONN_WAITING)
        return Spectate(conn, msg, reply, close);
    int slot = conn_slot[conn];
    if (n == MSG_COMMAND_SIZE && msg[0] == MSG_COMMAND && conn_state[conn] == CONN_PLAYER &&
        slot >= 0 && slot < MAX_CLIENTS && slot_conn[slot] == conn) {
        memcpy(net_client_msg + slot * CLIENT_SLOT, msg + 1, CLIENT_SLOT);
        return 0;
    }
    // Server-to-client types never come this way.
    uint8_t type = n > 0 ? msg[0] : 0;
    bool back = type == MSG_WELCOME || type == MSG_REFUSE || type == MSG_PACKAGE ||
                type == MSG_FOLLOW || type == MSG_STREAM;
    bool sized = n == NetMessageSize(type) || (type == MSG_STREAM && n >= 2 && n <= MSG_STREAM_MAX);
    if (back && sized)
        net_dropped[DROP_TYPE]++;
    else
        NetCountDrop(msg, n);
    return 0;
}

uint8_t NetHeldSlots() {
    uint8_t mask = 0;
    for (int i = 0; i < MAX_CLIENTS; i++)
        if (slot_conn[i] >= 0)
            mask |= (uint8_t)(1 << i);
    return mask;
}
