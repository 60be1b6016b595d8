// Fuzzes the reading of server messages in the two programs that join a
// server, fed through a stand-in ENet (fakeenet.h) as they would come from
// the network: the player's game, frame by frame (the join, the packages,
// the goodbyes and the way back in after a dropped link), and the follower,
// entry by entry (the join and the stream).
//
// The player: after every frame the slot and the level bounds are within
// the world, the camera's bounds follow them and package slot 0 holds the
// newest package; in a frame spent joined, every package counts and is the
// one shown, every other message is counted dropped once, and a goodbye
// that ends the game ends the loop. Whatever it sends is a whole hello or a
// command carrying command slot 0.
// The follower: the join takes only sane numbers and this data's hash; the
// entries handed out are those the stream reader finds in all the stream
// bytes received, however the messages cut them, ending where those bytes
// go bad; slots beyond the players stay empty.
// Both: every packet is destroyed once, and the host and ENet are closed.
// The numbering of the player's commands carries on from run to run, as
// the game keeps it; no check depends on it.
//
// Input: byte 0: bit 0 a follower, bit 1 a follower welcome carries this data's
// hash; then events, one byte each, kind = low 2 bits and v = the rest:
// 0 a message of v * 256 + the next byte bytes, from the bytes after it;
// 1 the link ends with goodbye code v; 2 the link comes up (a try to get
// back in); 3 a pause: the service finds nothing, which ends a frame, and
// the clock moves on v * 64 ms; the next byte is a move, the one the player
// presses in frame k being that of the k-th pause.
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "fakeenet.h"
#include "fuzzsupport.h"
#include "net/follower.h"
#include "net/netclient.h"
#include "wire/followstream.h"
#include "wire/protocol.h"
#include "wire/record.h"
#include "world/world.h"
#include "world/worldhash.h"

static uint32_t packages, others;    // messages handed out in the current frame
static uint8_t newest[PACKAGE_COPY]; // the last package among them
static bool goodbye;                 // a goodbye that ends the game came
static std::vector<uint8_t> stream;  // the stream bytes the follower was sent

// Notes each event the stand-in hands out, before the program takes it.
static void Event(const ENetEvent &ev) {
    const uint8_t *d = ev.packet ? ev.packet->data : NULL;
    size_t n = ev.packet ? ev.packet->dataLength : 0;
    if (ev.type == ENET_EVENT_TYPE_DISCONNECT)
        goodbye |= ev.data == NET_BYE || ev.data == NET_REPLACED;
    if (ev.type != ENET_EVENT_TYPE_RECEIVE)
        return;
    if (n == MSG_PACKAGE_SIZE && d[0] == MSG_PACKAGE) {
        memcpy(newest, d + MSG_PACKAGE_HEAD, PACKAGE_COPY);
        packages++;
        return;
    }
    others++;
    if (n >= 2 && n <= MSG_STREAM_MAX && d[0] == MSG_STREAM)
        stream.insert(stream.end(), d + 1, d + n);
}

// Checks each message the program sends.
static void Sent(const uint8_t *d, size_t n) {
    FUZZ_CHECK(n > 0);
    if (d[0] == MSG_COMMAND) {
        FUZZ_CHECK(n == MSG_COMMAND_SIZE &&
                   memcmp(d + MSG_COMMAND_HEAD, net_client_msg, CLIENT_SLOT) == 0);
        return;
    }
    FUZZ_CHECK(n == (d[0] == MSG_HELLO ? MSG_HELLO_SIZE : MSG_FOLLOW_ASK_SIZE));
    FUZZ_CHECK((d[0] == MSG_HELLO || d[0] == MSG_FOLLOW_ASK) && memcmp(d + 1, NET_MAGIC, 4) == 0 &&
               GetBE16(d + 5) == NET_VERSION);
}

// Sum of the drop counters.
static uint32_t Drops() {
    uint32_t n = 0;
    for (uint32_t d : net_dropped)
        n += d;
    return n;
}

// The player's game: joins, then runs frames while events are left.
static void Play(const std::vector<uint8_t> &moves) {
    if (!NetJoin("fuzz", "server"))
        return;
    NetClientStart();
    for (size_t f = 0; f <= moves.size() && !net_client.lost && !fake_events.empty(); f++) {
        bool joined = !net_client.relinking;
        uint32_t drops = Drops(), taken = net_client.packages;
        packages = others = 0;
        goodbye = false;
        NetClientFrameStart();
        FUZZ_CHECK(net_client.slot < MAX_CLIENTS && net_client.level_x < WORLD_X &&
                   net_client.level_y < WORLD_Y);
        FUZZ_CHECK(mapsizex[0] == net_client.level_x && mapsizey[0] == net_client.level_y);
        FUZZ_CHECK(memcmp(net_server_msg, net_client.package, PACKAGE_COPY) == 0);
        if (joined && goodbye)
            FUZZ_CHECK(net_client.lost);
        if (joined && !net_client.relinking && !net_client.lost) {
            FUZZ_CHECK(net_client.packages - taken == packages && Drops() - drops == others);
            FUZZ_CHECK(!packages || memcmp(net_client.package, newest, PACKAGE_COPY) == 0);
        }
        uint8_t move = f > 0 ? moves[f - 1] : 0;
        net_client_msg[0] = move >> 4;
        net_client_msg[1] = move & 15;
        NetClientFrameEnd();
    }
    NetLeave();
}

// The follower: joins, then takes entries until the stream stops.
static void Follow() {
    if (!NetFollow("fuzz", "server"))
        return;
    FUZZ_CHECK(following.players >= 1 && following.players <= MAX_CLIENTS &&
               following.setup <= SETUP_ALL && following.delay <= FOLLOW_DELAY_MAX);
    stream.reserve(STREAM_CHUNK); // never empty storage, even with no bytes yet
    stream.clear();
    size_t at = 0;
    uint8_t slots[MAX_CLIENTS * CLIENT_SLOT] = {};
    for (;;) {
        uint64_t hash = 0, want = 0;
        int r = FollowNext(&hash);
        bool is_hash = false;
        int n = FollowStreamDecode(stream.data() + at, stream.size() - at, following.players, slots,
                                   &is_hash, &want);
        if (r == FOLLOW_TURN || r == FOLLOW_HASH) {
            FUZZ_CHECK(n > 0 && is_hash == (r == FOLLOW_HASH) && (!is_hash || hash == want));
            FUZZ_CHECK(memcmp(net_client_msg, slots, sizeof slots) == 0);
            for (size_t b = following.players * CLIENT_SLOT; b < sizeof slots; b++)
                FUZZ_CHECK(net_client_msg[b] == 0);
            at += (size_t)n;
            continue;
        }
        FUZZ_CHECK(n <= 0 && (r != FOLLOW_END || at == stream.size()));
        FUZZ_CHECK((n == FOLLOW_BAD) ==
                   (r == FOLLOW_LOST && !strcmp(following.problem, "a bad stream")));
        if (r != FOLLOW_WAIT || fake_events.empty())
            break;
    }
    FollowLeave();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    static uint64_t data_hash = 0;
    if (!data_hash) {
        // No token files: the game keeps none without a state folder.
        unsetenv("XDG_STATE_HOME");
        unsetenv("HOME");
        data_hash = DataHash();
    }
    std::deque<FakeEvent> events = {{ENET_EVENT_TYPE_CONNECT, 0, {}}};
    std::vector<uint8_t> moves;
    for (size_t i = 1; i < size;) {
        int kind = data[i] & 3, v = data[i] >> 2;
        i++;
        if (kind == 0) {
            size_t n = v * 256 + (i < size ? data[i++] : 0);
            n = n < size - i ? n : size - i;
            std::vector<uint8_t> msg(data + i, data + i + n);
            i += n;
            if ((data[0] & 2) && n == MSG_FOLLOW_SIZE && msg[0] == MSG_FOLLOW)
                PutBE64(msg.data() + 9, data_hash);
            events.push_back({ENET_EVENT_TYPE_RECEIVE, 0, msg});
        } else if (kind == 3) {
            events.push_back({FAKE_PAUSE, v * 64u, {}});
            moves.push_back(i < size ? data[i++] : 0);
        } else {
            events.push_back({kind == 1 ? ENET_EVENT_TYPE_DISCONNECT : ENET_EVENT_TYPE_CONNECT,
                              (uint32_t)v,
                              {}});
        }
    }
    fake_on_event = Event;
    fake_on_send = Sent;
    FakeStart(std::move(events));
    net_client.remote = net_client.lost = net_client.relinking = 0;
    net_client.packages = 0;
    memset(net_client.package, 0, sizeof net_client.package);
    memset(net_client_msg, 0, sizeof net_client_msg);
    memset(net_dropped, 0, sizeof net_dropped);
    following.problem = "";
    if (data[0] & 1)
        Follow();
    else
        Play(moves);
    FUZZ_CHECK(fake_packets == 0 && fake_started == 0 && !fake_host);
    return 0;
}
