// The dedicated server's ENet host: accepts connections, turns ENet's events
// into the joins, leaves and messages of netserver.cpp, sends the packages
// after each turn and counts datagrams that are no traffic of a known peer.
// Peers that hold no slot are kept short: a handshake that never completes,
// a connection without a hello and a goodbye nobody acknowledges all end
// after STALL_MS, and a new connection request finds room by ending the
// oldest of them, so that no flood of idle peers can lock players out.
#include "net/serverhost.h"

#include <arpa/inet.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/random.h>
#include <time.h>
#include <unistd.h>

#include <enet/enet.h>

#include "net/netserver.h"
#include "net/webdoor.h"
#include "resources/errorline.h"

#define PACKET_LIMIT 4096   // largest packet a peer may send; far above any message
#define WAITING_LIMIT 65536 // data a peer may leave waiting for delivery
#define GOODBYE_MS 300      // time given to peers to hear the goodbye
#define FOLLOW_END_MS 5000  // longest wait at the end for followers taking their stream
#define STALL_MS 1500       // longest handshake, wait for a hello, or unheard goodbye

// What the server waits for from a peer, as the walk of the peer table saw it.
#define STAGE_NONE 0                        // free
#define STAGE_HANDSHAKE 1                   // ENet's connection handshake
#define STAGE_CONNECTED 2                   // connected: a hello, then play
#define STAGE_CLOSING 3                     // being disconnected
#define FOLLOW_WINDOW (256u << 10)          // stream bytes a follower may have unacknowledged
#define FOLLOW_DOOR_WINDOW (DOOR_QUEUE / 2) // the same for one at the door, not yet written

static ENetHost *host;                      // the server's host, or NULL
static ENetPeer *conn_peer[NET_MAX_CONNS];  // ENet peer of each connection
static uint8_t peer_stage[NET_MAX_CONNS];   // STAGE_* of each peer at the last walk
static uint32_t peer_id[NET_MAX_CONNS];     // its ENet connect id then
static uint32_t peer_since[NET_MAX_CONNS];  // since when it is in that stage, ENet's clock
static uint32_t peer_order[NET_MAX_CONNS];  // when it was first noted in it, counted in notes
static uint32_t notes;                      // stages noted so far
static uint64_t sent_bytes, sent_datagrams; // totals taken out of the host's counters
static uint64_t received_datagrams;
static uint32_t ended_half_open;              // peers ended in their handshake
static uint32_t ended_silent;                 // connections ended without a hello
static uint64_t follow_sent[NET_MAX_CONNS];   // stream position each follower has been sent up to
static uint32_t follow_flight[NET_MAX_CONNS]; // stream bytes sent and not yet acknowledged
static uint8_t follow_gen[NET_MAX_CONNS];     // changes with each new connection of a number
static uint64_t stream_bytes;                 // stream bytes sent to all followers
static uint64_t stream_acked;                 // stream bytes acknowledged by all followers
static bool door_known[NET_DOOR_CONNS];       // door connection handed to the tables
static uint32_t door_since[NET_DOOR_CONNS];   // ENet's clock when it came
static char door_where[NET_DOOR_CONNS][48];   // its peer as text

// Connections 0 .. NET_ENET_CONNS - 1 are ENet peers, the rest door
// connections; these few calls are all that tells the two apart.
static bool IsDoor(int c) {
    return c >= NET_ENET_CONNS;
}

// Whether connection c is linked: an ENet peer or a known door connection.
static bool Linked(int c) {
    return IsDoor(c) ? door_known[c - NET_ENET_CONNS] : conn_peer[c] != NULL;
}

// Sends connection c one message, reliably, or as a package that may be lost.
static void SendTo(int c, const uint8_t *msg, size_t n, bool reliable) {
    if (IsDoor(c)) {
        DoorSend(c - NET_ENET_CONNS, msg, n, !reliable);
        return;
    }
    ENetPacket *p = enet_packet_create(msg, n, reliable ? ENET_PACKET_FLAG_RELIABLE : 0);
    if (p &&
        enet_peer_send(conn_peer[c], reliable ? NET_CHANNEL_RELIABLE : NET_CHANNEL_PACKAGE, p) != 0)
        enet_packet_destroy(p);
}

// Tells connection c goodbye: at once, or after what is queued for it.
static void Goodbye(int c, uint32_t code, bool now) {
    if (IsDoor(c))
        DoorEnd(c - NET_ENET_CONNS, (uint8_t)code);
    else if (now)
        enet_peer_disconnect_now(conn_peer[c], code);
    else
        enet_peer_disconnect_later(conn_peer[c], code);
}

// Text form of a peer's address.
static void AddressText(const ENetAddress *a, char *text, size_t size) {
    char ip[64];
    if (enet_address_get_host_ip(a, ip, sizeof ip) != 0)
        snprintf(ip, sizeof ip, "?");
    snprintf(text, size, "%s:%u", ip, (unsigned)a->port);
}

// Moves the host's 32-bit traffic counters into 64-bit totals.
static void TakeCounters() {
    sent_bytes += host->totalSentData;
    sent_datagrams += host->totalSentPackets;
    received_datagrams += host->totalReceivedPackets;
    host->totalSentData = host->totalSentPackets = 0;
    host->totalReceivedData = host->totalReceivedPackets = 0;
}

// Stage of a peer by its ENet state.
static uint8_t StageOf(const ENetPeer *p) {
    switch (p->state) {
    case ENET_PEER_STATE_DISCONNECTED:
        return STAGE_NONE;
    case ENET_PEER_STATE_CONNECTING:
    case ENET_PEER_STATE_ACKNOWLEDGING_CONNECT:
    case ENET_PEER_STATE_CONNECTION_PENDING:
    case ENET_PEER_STATE_CONNECTION_SUCCEEDED:
        return STAGE_HANDSHAKE;
    case ENET_PEER_STATE_CONNECTED:
        return STAGE_CONNECTED;
    default:
        return STAGE_CLOSING;
    }
}

// Text form of connection c's peer.
static void WhereOf(int c, char *text, size_t size) {
    if (IsDoor(c))
        snprintf(text, size, "%s", door_where[c - NET_ENET_CONNS]);
    else
        AddressText(&conn_peer[c]->address, text, size);
}

// Ends connection c in the tables: its slot, if it held one, is freed.
static void EndConn(int c, bool lost) {
    if (!Linked(c))
        return;
    char where[96];
    WhereOf(c, where, sizeof where);
    bool follower = net_server.conn_state[c] == CONN_FOLLOWER;
    int slot = lost ? NetServerLost(c) : NetServerLeave(c);
    if (IsDoor(c))
        door_known[c - NET_ENET_CONNS] = false;
    else
        conn_peer[c] = NULL;
    follow_gen[c]++;
    if (slot >= 0 && !net_server.quiet)
        printf("slot %d %s (%s)\n", slot, lost ? "lost" : "left", where);
    if (follower && !net_server.quiet)
        printf("spectator left (%s)\n", where);
}

// Ends peer i, which holds no slot, and counts it. A connection without a
// hello is told goodbye when tell is set; anything else goes silently.
static void EndPeer(int i, bool tell) {
    ENetPeer *p = &host->peers[i];
    uint8_t stage = StageOf(p);
    if (conn_peer[i] == p)
        EndConn(i, false);
    ended_silent += stage == STAGE_CONNECTED;
    ended_half_open += stage == STAGE_HANDSHAKE;
    if (stage == STAGE_CONNECTED && tell)
        enet_peer_disconnect_now(p, 0);
    else
        enet_peer_reset(p);
    peer_stage[i] = STAGE_NONE;
}

// Notes the stage of peer i when it changed since the last look; whether
// it had.
static bool NoteStage(int i, uint32_t now) {
    const ENetPeer *p = &host->peers[i];
    uint8_t stage = StageOf(p);
    if (peer_stage[i] == stage && peer_id[i] == p->connectID)
        return false;
    peer_stage[i] = stage;
    peer_id[i] = p->connectID;
    peer_since[i] = now;
    peer_order[i] = ++notes;
    return true;
}

// Walks the peer table: notes each peer's stage and ends those stalled in
// one longer than STALL_MS; players are never ended here.
static void EndStalled() {
    uint32_t now = enet_time_get();
    for (int i = 0; i < (int)host->peerCount && i < NET_MAX_CONNS; i++) {
        const ENetPeer *p = &host->peers[i];
        uint8_t stage = StageOf(p);
        if (NoteStage(i, now))
            continue;
        if (stage == STAGE_NONE || now - peer_since[i] <= STALL_MS)
            continue;
        if (stage != STAGE_CONNECTED || net_server.conn_state[i] == CONN_WAITING)
            EndPeer(i, true);
    }
    for (int k = 0; k < NET_DOOR_CONNS; k++) {
        int c = NET_ENET_CONNS + k;
        if (door_known[k] && net_server.conn_state[c] == CONN_WAITING &&
            now - door_since[k] > STALL_MS) {
            ended_silent++;
            EndConn(c, false);
            DoorEnd(k, 0);
        }
    }
}

// A connection request came from the address ENet is reading. When no peer
// is free, a peer that is neither a player nor a follower is ended to make
// room: of the address that has the most such peers, the one noted first.
// So a crowd from a few addresses ends its own peers before a client from
// another, and among single peers (forged addresses) a new one lasts until
// every older one has gone. A
// request ENet ignores anyway (a repeat from a known address and port, or
// one from an address at its limit) ends nobody. The peer ended is not
// told, so that a crowd of peers that rejoin when dropped cannot start a
// storm.
// Whether peer i holds nothing the server must keep: neither a player nor
// a follower.
static bool Spare(const ENetHost *h, int i) {
    return !(
        (net_server.conn_state[i] == CONN_PLAYER || net_server.conn_state[i] == CONN_FOLLOWER) &&
        conn_peer[i] == &h->peers[i]);
}

static void MakeRoom(ENetHost *h) {
    uint32_t now = enet_time_get();
    size_t same = 0;
    uint32_t address[NET_MAX_CONNS], order[NET_MAX_CONNS];
    uint8_t spare[NET_MAX_CONNS];
    int n = 0;
    for (; n < (int)h->peerCount && n < NET_MAX_CONNS; n++) {
        const ENetPeer *p = &h->peers[n];
        if (p->state == ENET_PEER_STATE_DISCONNECTED)
            return;
        NoteStage(n, now);
        if (p->address.host == h->receivedAddress.host) {
            if (p->address.port == h->receivedAddress.port)
                return;
            same++;
        }
        address[n] = p->address.host;
        order[n] = peer_order[n];
        spare[n] = Spare(h, n);
    }
    int oldest = NetRoomChoice(address, order, spare, n);
    if (oldest >= 0 && same < h->duplicatePeers)
        EndPeer(oldest, false);
}

// Looks at every datagram before ENet does. One that is too short for ENet's
// header, compressed (no peer of this game compresses), a connection request
// without its connect command, or addressed to a peer that is not connected
// from the sender's address, is dropped here and counted; the rest goes on
// to ENet, which checks the commands inside.
static int ENET_CALLBACK Intercept(ENetHost *h, ENetEvent *) {
    const uint8_t *d = h->receivedData;
    size_t n = h->receivedDataLength;
    bool ok = n >= 2 + sizeof(ENetProtocolCommandHeader);
    if (ok) {
        uint16_t word = GetBE16(d);
        uint16_t id = word & ENET_PROTOCOL_MAXIMUM_PEER_ID;
        uint8_t session = (uint8_t)((word & ENET_PROTOCOL_HEADER_SESSION_MASK) >>
                                    ENET_PROTOCOL_HEADER_SESSION_SHIFT);
        size_t head = (word & ENET_PROTOCOL_HEADER_FLAG_SENT_TIME) ? 4 : 2;
        if (word & ENET_PROTOCOL_HEADER_FLAG_COMPRESSED)
            ok = false;
        else if (n < head + sizeof(ENetProtocolCommandHeader))
            ok = false;
        else if (id == ENET_PROTOCOL_MAXIMUM_PEER_ID) {
            ok = (d[head] & ENET_PROTOCOL_COMMAND_MASK) == ENET_PROTOCOL_COMMAND_CONNECT &&
                 n >= head + sizeof(ENetProtocolConnect);
            if (ok) { // the door's connections of the address count too
                int door_peers = DoorFrom(ntohl(h->receivedAddress.host));
                h->duplicatePeers = door_peers < NET_PER_ADDRESS ? NET_PER_ADDRESS - door_peers : 0;
                MakeRoom(h);
            }
        } else if (id >= h->peerCount)
            ok = false;
        else {
            const ENetPeer *p = &h->peers[id];
            ok = p->state != ENET_PEER_STATE_DISCONNECTED && p->state != ENET_PEER_STATE_ZOMBIE &&
                 p->address.host == h->receivedAddress.host &&
                 p->address.port == h->receivedAddress.port &&
                 (p->outgoingPeerID >= ENET_PROTOCOL_MAXIMUM_PEER_ID ||
                  session == p->incomingSessionID);
        }
    }
    if (ok)
        return 0;
    net_dropped[DROP_GARBAGE]++;
    return 1;
}

bool NetServerOpen(const char *addr, uint16_t port, uint16_t *bound) {
    if (enet_initialize() != 0) {
        ErrorLine("cannot start ENet");
        return false;
    }
    ENetAddress a;
    a.host = ENET_HOST_ANY;
    a.port = port;
    if (addr && *addr && enet_address_set_host_ip(&a, addr) != 0) {
        char shown[ECHO_SIZE];
        ErrorLine("'%s' is no IPv4 address", EchoText(addr, shown));
        return false;
    }
    errno = 0;
    host = enet_host_create(&a, NET_ENET_CONNS, NET_CHANNELS, 0, 0);
    if (!host) {
        int why = errno;
        ErrorLine("cannot listen on %s:%u: %s%s", addr && *addr ? addr : "0.0.0.0", (unsigned)port,
                  why ? strerror(why) : "no socket",
                  why == EADDRNOTAVAIL ? " (not an address of this machine)" : "");
        return false;
    }
    host->maximumPacketSize = PACKET_LIMIT;
    host->duplicatePeers = NET_PER_ADDRESS;
    host->maximumWaitingData = WAITING_LIMIT;
    host->intercept = Intercept;
    // The game's identity: a client that gets back in after a restart is
    // told it joined a new game. Drawn anew at each start, never 0.
    while (net_server.game_id == 0 && getrandom(&net_server.game_id, sizeof net_server.game_id,
                                                0) == (ssize_t)sizeof(uint64_t))
        ;
    if (net_server.game_id == 0) { // no random numbers: the start's time and process
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        net_server.game_id = ((uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec) ^
                             ((uint64_t)getpid() << 40) ^ 1;
    }
    ENetAddress got;
    *bound = enet_socket_get_address(host->socket, &got) == 0 ? got.port : port;
    return true;
}

// Ends the connections whose slots went to a hello with the slot's token,
// or were let go for their silence.
static void EndReplaced() {
    for (int c = NetServerReplaced(); c >= 0; c = NetServerReplaced()) {
        // One let go for its silence may be there still: it gets back in.
        if (Linked(c))
            Goodbye(c, net_server.conn_state[c] == CONN_SILENT ? 0 : NET_REPLACED, true);
        NetServerLeave(c);
        if (IsDoor(c))
            door_known[c - NET_ENET_CONNS] = false;
        else
            conn_peer[c] = NULL;
    }
}

// A fresh random token for the next new player, unless one is waiting.
static void FreshToken() {
    uint64_t t = 0;
    if (net_server.fresh_token == 0 && getrandom(&t, sizeof t, 0) == (ssize_t)sizeof t)
        net_server.fresh_token = t;
}

// Connection number of a peer, or -1 for one outside the table.
static int ConnOf(const ENetPeer *peer) {
    int c = (int)peer->incomingPeerID;
    return c >= 0 && c < NET_MAX_CONNS && conn_peer[c] == peer ? c : -1;
}

// What a refusal tells the refused.
static const char *RefusalText(uint8_t why) {
    switch (why) {
    case REFUSE_FULL:
        return "every slot is taken";
    case REFUSE_NO_FOLLOWERS:
        return "no spectators taken";
    case REFUSE_FOLLOWERS_FULL:
        return "every spectator place is taken";
    case REFUSE_OTHER_DATA:
        return "a spectator of other data";
    }
    return "wrong protocol version";
}

// Starts follower c, just welcomed, at the newest snapshot its delay allows:
// the snapshot goes out, and its stream from there.
static void SendSnapshot(int c, const char *where) {
    const FollowSnap *s = FollowStreamStart(turn, net_server.follow_delay);
    int sent = -1;
    if (s && IsDoor(c)) {
        static uint8_t m[MSG_SNAPSHOT_MAX];
        m[0] = MSG_SNAPSHOT;
        PutBE64(m + 1, s->hash);
        PutBE32(m + 9, s->turn);
        memcpy(m + MSG_SNAPSHOT_HEAD, s->bytes, s->size);
        follow_sent[c] = s->at;
        sent = DoorSend(c - NET_ENET_CONNS, m, MSG_SNAPSHOT_HEAD + s->size, false) ? 0 : -1;
    } else if (!IsDoor(c)) {
        ENetPacket *p =
            s ? enet_packet_create(NULL, MSG_SNAPSHOT_HEAD + s->size, ENET_PACKET_FLAG_RELIABLE)
              : NULL;
        if (p) {
            p->data[0] = MSG_SNAPSHOT;
            PutBE64(p->data + 1, s->hash);
            PutBE32(p->data + 9, s->turn);
            memcpy(p->data + MSG_SNAPSHOT_HEAD, s->bytes, s->size);
            follow_sent[c] = s->at;
        }
        // ENet sends nothing larger than the host takes in: the limit is
        // lifted for the snapshot alone.
        host->maximumPacketSize = MSG_SNAPSHOT_MAX;
        sent = p ? enet_peer_send(conn_peer[c], NET_CHANNEL_RELIABLE, p) : -1;
        host->maximumPacketSize = PACKET_LIMIT;
        if (sent != 0 && p)
            enet_packet_destroy(p);
    }
    if (sent != 0) {
        Goodbye(c, NET_BEHIND, false);
        return;
    }
    if (!net_server.quiet)
        printf("spectator joined at turn %u from turn %u (%s)\n", turn, s->turn, where);
}

// Acts on one message of connection c (-1: none known) from where.
static void OnMessage(int c, const uint8_t *msg, size_t length, const char *where) {
    uint8_t reply[MSG_REPLY_MAX];
    bool close = false;
    FreshToken();
    // A hello may be counted against the players out of play: when each
    // ENet peer was last heard (it answers the host's pings); a door
    // connection counts as heard while its socket stands.
    for (int k = 0; length > 0 && msg[0] == MSG_HELLO && k < NET_MAX_CONNS; k++)
        if (IsDoor(k) ? door_known[k - NET_ENET_CONNS] && DoorLive(k - NET_ENET_CONNS)
                      : conn_peer[k] != NULL)
            net_server.conn_heard[k] = IsDoor(k) ? net_server.clock : conn_peer[k]->lastReceiveTime;
    size_t n = c < 0 ? 0 : NetServerMessage(c, msg, length, reply, &close);
    if (n > 0)
        SendTo(c, reply, n, true);
    if (close)
        Goodbye(c, 0, false);
    if (n > 0 && !net_server.quiet && reply[0] == MSG_WELCOME)
        printf("slot %d joined (%s)\n", reply[1], where);
    if (n > 0 && reply[0] == MSG_FOLLOW)
        SendSnapshot(c, where);
    if (n > 0 && !net_server.quiet && reply[0] == MSG_REFUSE)
        printf("refused %s: %s\n", where, RefusalText(reply[1]));
}

// Acts on one event of the door.
static void HandleDoorEvent(const DoorEvent &ev) {
    int k = ev.conn, c = NET_ENET_CONNS + ev.conn;
    if (ev.type == DOOR_JOINED) {
        door_known[k] = true;
        door_since[k] = enet_time_get();
        snprintf(door_where[k], sizeof door_where[k], "%s", ev.where);
        follow_sent[c] = follow_flight[c] = 0;
        follow_gen[c]++;
        NetServerJoin(c, ev.ipv4);
    } else if (ev.type == DOOR_GONE) {
        EndConn(c, ev.code != NET_LEAVE);
    } else if (ev.type == DOOR_MESSAGE) {
        received_datagrams++;
        OnMessage(door_known[k] ? c : -1, ev.data, ev.length, ev.where);
    }
}

// Acts on one ENet event.
static void HandleEvent(ENetEvent *ev) {
    char where[96];
    AddressText(&ev->peer->address, where, sizeof where);
    if (ev->type == ENET_EVENT_TYPE_CONNECT) {
        int c = (int)ev->peer->incomingPeerID;
        if (c < 0 || c >= NET_MAX_CONNS) {
            enet_peer_reset(ev->peer);
            return;
        }
        conn_peer[c] = ev->peer;
        follow_sent[c] = follow_flight[c] = 0;
        follow_gen[c]++;
        enet_peer_timeout(ev->peer, ENET_PEER_TIMEOUT_LIMIT, NET_TIMEOUT_MIN, NET_TIMEOUT_MAX);
        NetServerJoin(c, ntohl(ev->peer->address.host));
    } else if (ev->type == ENET_EVENT_TYPE_DISCONNECT) {
        // A goodbye frees the slot; a connection that just went silent
        // keeps it for the player's return.
        int c = ConnOf(ev->peer);
        if (c >= 0)
            EndConn(c, ev->data != NET_LEAVE);
    } else if (ev->type == ENET_EVENT_TYPE_RECEIVE) {
        int c = ConnOf(ev->peer);
        OnMessage(c, ev->packet->data, ev->packet->dataLength, where);
        enet_packet_destroy(ev->packet);
    }
}

void NetServerWait(uint32_t ms) {
    if (!host)
        return;
    ENetEvent ev;
    NetServerClock(enet_time_get());
    if (DoorIsOpen()) // both carriers: the door's wait also ends on ENet's socket
        DoorWait(ms);
    int r = enet_host_service(host, &ev, DoorIsOpen() ? 0 : ms);
    for (int k = 0; r > 0; k++) {
        NetServerClock(enet_time_get());
        HandleEvent(&ev);
        EndReplaced();
        r = k + 1 < NET_EVENTS_MAX ? enet_host_service(host, &ev, 0) : 0;
    }
    static DoorEvent door_ev; // a message's room: kept off the stack
    for (int k = 0; k < NET_EVENTS_MAX && DoorNext(&door_ev); k++) {
        NetServerClock(enet_time_get());
        HandleDoorEvent(door_ev);
        EndReplaced();
    }
    EndStalled();
    TakeCounters();
}

void NetServerSendPackages(const uint8_t *packages) {
    if (!host)
        return;
    for (int i = 0; i < MAX_CLIENTS; i++) {
        int c = net_server.slot_conn[i];
        if (c < 0 || c >= NET_MAX_CONNS || !Linked(c))
            continue;
        if (IsDoor(c)) {
            uint8_t m[MSG_PACKAGE_SIZE];
            m[0] = MSG_PACKAGE;
            PutBE32(m + 1, net_server.slot_applied[i]);
            memcpy(m + MSG_PACKAGE_HEAD, packages + i * PACKAGE_COPY, PACKAGE_COPY);
            DoorSend(c - NET_ENET_CONNS, m, sizeof m, true);
            continue;
        }
        ENetPacket *p = enet_packet_create(NULL, MSG_PACKAGE_SIZE, 0);
        if (!p)
            continue;
        p->data[0] = MSG_PACKAGE;
        PutBE32(p->data + 1, net_server.slot_applied[i]);
        memcpy(p->data + MSG_PACKAGE_HEAD, packages + i * PACKAGE_COPY, PACKAGE_COPY);
        if (enet_peer_send(conn_peer[c], NET_CHANNEL_PACKAGE, p) != 0)
            enet_packet_destroy(p);
    }
    enet_host_flush(host);
    TakeCounters();
}

// A stream packet has been acknowledged (or dropped with its peer): its
// bytes leave the follower's unacknowledged share, unless the connection
// number has since gone to another peer.
static void ENET_CALLBACK StreamDelivered(ENetPacket *p) {
    uintptr_t tag = (uintptr_t)p->userData;
    int c = (int)(tag & 0xFF);
    if (c < NET_MAX_CONNS && follow_gen[c] == (uint8_t)(tag >> 8))
        follow_flight[c] -= (uint32_t)(p->dataLength - 1);
    stream_acked += p->dataLength - 1;
}

// Sends follower c stream bytes up to end, as its window allows; whether
// any went. A follower whose next bytes the server no longer keeps is told
// so and let go.
static bool SendStreamTo(int c, uint64_t end) {
    if (follow_sent[c] < server_stream.base) {
        if (IsDoor(c))
            DoorEnd(c - NET_ENET_CONNS, NET_BEHIND);
        else if (conn_peer[c]->state == ENET_PEER_STATE_CONNECTED)
            enet_peer_disconnect_later(conn_peer[c], NET_BEHIND);
        return false;
    }
    uint64_t from = follow_sent[c];
    if (IsDoor(c)) { // the door's queue is the window: written counts as delivered
        uint8_t m[MSG_STREAM_MAX];
        m[0] = MSG_STREAM;
        while (follow_sent[c] < end && DoorQueued(c - NET_ENET_CONNS) < FOLLOW_DOOR_WINDOW) {
            uint64_t n = end - follow_sent[c] < STREAM_CHUNK ? end - follow_sent[c] : STREAM_CHUNK;
            FollowStreamCopy(follow_sent[c], (size_t)n, m + 1);
            if (!DoorSend(c - NET_ENET_CONNS, m, 1 + (size_t)n, false))
                break;
            follow_sent[c] += n;
            stream_bytes += n;
            stream_acked += n;
        }
        return follow_sent[c] != from;
    }
    while (follow_sent[c] < end && follow_flight[c] < FOLLOW_WINDOW) {
        uint64_t n = end - follow_sent[c];
        if (n > STREAM_CHUNK)
            n = STREAM_CHUNK;
        ENetPacket *p = enet_packet_create(NULL, 1 + n, ENET_PACKET_FLAG_RELIABLE);
        if (!p)
            break;
        p->data[0] = MSG_STREAM;
        FollowStreamCopy(follow_sent[c], (size_t)n, p->data + 1);
        p->userData = (void *)(uintptr_t)(((uintptr_t)follow_gen[c] << 8) | (uintptr_t)c);
        p->freeCallback = StreamDelivered;
        follow_flight[c] += (uint32_t)n;
        if (enet_peer_send(conn_peer[c], NET_CHANNEL_RELIABLE, p) != 0) {
            enet_packet_destroy(p);
            break;
        }
        follow_sent[c] += n;
        stream_bytes += n;
    }
    return follow_sent[c] != from;
}

bool NetServerSendStream(bool all) {
    if (!host)
        return false;
    uint64_t end = all ? server_stream.length : FollowStreamSendable(turn, net_server.follow_delay);
    bool behind = false, sent = false;
    for (int c = 0; c < NET_MAX_CONNS; c++) {
        if (net_server.conn_state[c] != CONN_FOLLOWER || !Linked(c))
            continue;
        sent |= SendStreamTo(c, end);
        behind |= follow_sent[c] < end && follow_sent[c] >= server_stream.base;
    }
    if (sent)
        enet_host_flush(host);
    TakeCounters();
    return behind;
}

uint64_t NetServerStreamBytes() {
    return stream_bytes;
}

void NetServerClose(uint32_t code) {
    if (!host)
        return;
    for (int c = 0; c < NET_MAX_CONNS; c++)
        if (conn_peer[c] && net_server.conn_state[c] != CONN_FOLLOWER)
            enet_peer_disconnect(conn_peer[c], code);
    for (int k = 0; k < NET_DOOR_CONNS; k++)
        if (door_known[k] && net_server.conn_state[NET_ENET_CONNS + k] != CONN_FOLLOWER)
            DoorEnd(k, (uint8_t)code);
    // Followers are sent the rest of their stream as their windows allow,
    // then the goodbye. The wait ends when every peer has gone, after
    // GOODBYE_MS without a word while only players are left (STALL_MS while
    // a follower is: one may be busy catching up), or after FOLLOW_END_MS
    // in all. Any stream a follower acknowledges counts as a word.
    uint32_t start = enet_time_get(), moved = start;
    uint64_t acked = stream_acked;
    for (;;) {
        bool left = true, following = false;
        for (int c = 0; c < NET_MAX_CONNS; c++) {
            ENetPeer *p = conn_peer[c];
            if (!p || p->state == ENET_PEER_STATE_DISCONNECTED)
                continue;
            left = false;
            following |= net_server.conn_state[c] == CONN_FOLLOWER;
            if (net_server.conn_state[c] != CONN_FOLLOWER || p->state != ENET_PEER_STATE_CONNECTED)
                continue;
            SendStreamTo(c, server_stream.length);
            if (follow_sent[c] == server_stream.length)
                enet_peer_disconnect_later(p, code);
            else if (follow_sent[c] < server_stream.base)
                enet_peer_disconnect_later(p, NET_BEHIND);
        }
        for (int k = 0; k < NET_DOOR_CONNS; k++) {
            int c = NET_ENET_CONNS + k;
            if (!door_known[k])
                continue;
            left = false;
            bool follower = net_server.conn_state[c] == CONN_FOLLOWER;
            following |= follower;
            if (follower && DoorLive(k)) {
                SendStreamTo(c, server_stream.length);
                if (follow_sent[c] == server_stream.length)
                    DoorEnd(k, (uint8_t)code);
            }
        }
        uint32_t now = enet_time_get();
        if (stream_acked != acked) {
            acked = stream_acked;
            moved = now;
        }
        if (left || now - moved >= (following ? STALL_MS : GOODBYE_MS) ||
            now - start >= FOLLOW_END_MS)
            break;
        enet_host_flush(host);
        ENetEvent ev;
        bool door = DoorIsOpen();
        if (door)
            DoorWait(10);
        for (int k = 0; k < NET_EVENTS_MAX && enet_host_service(host, &ev, k || door ? 0 : 10) > 0;
             k++)
            if (ev.type == ENET_EVENT_TYPE_RECEIVE)
                enet_packet_destroy(ev.packet);
        static DoorEvent door_ev;
        for (int k = 0; k < NET_EVENTS_MAX && DoorNext(&door_ev); k++)
            if (door_ev.type == DOOR_GONE)
                door_known[door_ev.conn] = false;
    }
    DoorClose();
    for (bool &known : door_known)
        known = false;
    TakeCounters();
    enet_host_destroy(host);
    host = NULL;
    for (int c = 0; c < NET_MAX_CONNS; c++)
        conn_peer[c] = NULL;
    enet_deinitialize();
}

uint64_t NetServerBytesSent() {
    return sent_bytes + DoorBytesSent();
}

uint64_t NetServerDatagramsSent() {
    return sent_datagrams + DoorFramesSent();
}

// ENet peers from an IPv4 address (host order), for the door's limit.
static int EnetPeersFrom(uint32_t ipv4) {
    int n = 0;
    for (int i = 0; host && i < (int)host->peerCount; i++)
        n += host->peers[i].state != ENET_PEER_STATE_DISCONNECTED &&
             ntohl(host->peers[i].address.host) == ipv4;
    return n;
}

bool NetServerOpenDoor(const char *addr, uint16_t port, const char *root, uint16_t *bound) {
    return host && DoorOpen(addr, port, root, (int)host->socket, EnetPeersFrom, bound);
}

uint64_t NetServerDatagramsReceived() {
    return received_datagrams;
}

uint32_t NetServerHalfOpenEnded() {
    return ended_half_open;
}

uint32_t NetServerSilentEnded() {
    return ended_silent;
}
