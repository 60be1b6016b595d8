// Follower of a dedicated server over its link (net/link.h): the handshake, the stream
// bytes buffered as they come and handed out one entry at a time.
#include "net/follower.h"

#include <stdio.h>
#include <string.h>

#include "net/link.h"
#include "wire/followstream.h"
#include "wire/protocol.h"
#include "wire/record.h"
#include "world/snapshot.h"
#include "world/world.h"
#include "world/worldhash.h"

FollowState following;

#define SERVE_MS 50     // longest time between services of the connection while catching up
#define ATTEMPT_MS 2000 // one try to follow a stopped server again, before the next

static NetLink follow_link;                      // the connection to the server
static uint8_t ended;                            // the server said goodbye
static uint8_t stopped;                          // the server said it stops and may come back
static uint32_t stopped_since;                   // when it did
static uint32_t attempt_since;                   // when the current try to follow again began
static uint8_t welcome[MSG_FOLLOW_SIZE];         // the welcome of a try, once it came
static uint8_t welcomed;                         // it came
static uint32_t following_since;                 // the link's clock when the follower was ready
static uint32_t served_at;                       // the link's clock at the last service
static uint8_t buffer[FOLLOW_BUFFER];            // stream bytes not yet handed out
static uint32_t head, tail;                      // handed out up to head, received up to tail
static uint8_t slots[MAX_CLIENTS * CLIENT_SLOT]; // command slots as the stream left them
static uint8_t snapshot[MSG_SNAPSHOT_MAX];       // the server's SNAPSHOT message
static size_t snapshot_size;                     // its size

// Takes the server's answer to the follow request: a welcome that makes sense, or
// a refusal.
static int AcceptFollow(const uint8_t *d, size_t n) {
    if (n == MSG_FOLLOW_SIZE && d[0] == MSG_FOLLOW && d[1] >= 1 && d[1] <= MAX_CLIENTS &&
        d[2] <= SETUP_ALL && GetBE16(d + 3) <= FOLLOW_DELAY_MAX)
        return MSG_FOLLOW;
    if (n == MSG_REFUSE_SIZE && d[0] == MSG_REFUSE)
        return MSG_REFUSE;
    return 0;
}

// What a refusal, or no answer, means.
static const char *RefusalText(int type, const uint8_t *answer) {
    if (type != MSG_REFUSE)
        return "did not answer";
    switch (answer[1]) {
    case REFUSE_NO_FOLLOWERS:
        return "takes no spectators";
    case REFUSE_FOLLOWERS_FULL:
        return "has every spectator place taken";
    case REFUSE_OTHER_DATA:
        return "plays other data (map or tile file)";
    case REFUSE_VERSION:
        return "speaks another protocol version";
    }
    return "refused for a reason this game does not know";
}

// Takes the snapshot that follows the welcome.
static int AcceptSnapshot(const uint8_t *d, size_t n) {
    if (n <= MSG_SNAPSHOT_HEAD || n > MSG_SNAPSHOT_MAX || d[0] != MSG_SNAPSHOT)
        return 0;
    snapshot_size = n;
    return MSG_SNAPSHOT;
}

// Every follow starts from an empty stream.
static void EmptyStream() {
    ended = stopped = welcomed = 0;
    head = tail = 0;
    memset(slots, 0, sizeof slots);
}

// Takes a follower welcome: the followed game's set-up.
static void Followed(const uint8_t *answer) {
    following.players = answer[1];
    following.setup = answer[2];
    following.delay = GetBE16(answer + 3);
    following.join_turn = GetBE32(answer + 5);
}

bool NetFollow(const char *who, const char *address) {
    EmptyStream();
    if (!LinkConnect(follow_link, who, address))
        return false;
    uint8_t follow[MSG_FOLLOW_ASK_SIZE];
    NetMakeFollowAsk(follow, DataHash());
    LinkGreet(follow_link, follow, sizeof follow);
    uint8_t answer[MSG_FOLLOW_SIZE] = {};
    int type = LinkAwait(follow_link, AcceptFollow, answer, sizeof answer);
    bool same = type == MSG_FOLLOW && GetBE64(answer + 9) == DataHash();
    if (same && LinkAwait(follow_link, AcceptSnapshot, snapshot, sizeof snapshot)) {
        Followed(answer);
        return true;
    }
    fprintf(stderr, "%s: the server at %s:%u %s\n", who, follow_link.name,
            (unsigned)follow_link.port,
            same                 ? "sent no snapshot to start from"
            : type == MSG_FOLLOW ? "plays other data (map or tile file)"
                                 : RefusalText(type, answer));
    LinkClose(follow_link);
    return false;
}

bool FollowRestore() {
    static char wrong[64];
    uint32_t at = GetBE32(snapshot + 9);
    if (!SnapshotRestore(snapshot + MSG_SNAPSHOT_HEAD, snapshot_size - MSG_SNAPSHOT_HEAD, slots) ||
        turn != at) {
        following.problem = "a bad snapshot";
    } else if (WorldHash() != GetBE64(snapshot + 1)) {
        snprintf(wrong, sizeof wrong, "out of step at the snapshot of turn %u", at);
        following.problem = wrong;
    } else {
        return true;
    }
    FollowLeave();
    return false;
}

// Takes what the server has sent: stream bytes into the buffer, its
// goodbye, or the loss of the connection.
static void Receive() {
    served_at = LinkNow();
    if (head == tail)
        head = tail = 0;
    static LinkEvent ev; // a message's room: kept off the stack
    for (int k = 0; k < NET_EVENTS_MAX && LinkUp(follow_link) && LinkNext(follow_link, &ev); k++) {
        if (ev.type == LINK_GONE) {
            ended = ev.code == NET_BYE;
            stopped = ev.code == NET_STOPPING;
            stopped_since = LinkNow();
            attempt_since = stopped_since - ATTEMPT_MS; // the first try at once
            if (ev.code == NET_BEHIND)
                following.problem = "fell behind the stream the server keeps";
            else if (!ended)
                following.problem = "lost the server";
        } else if (ev.type == LINK_MESSAGE) {
            const uint8_t *d = ev.data;
            size_t n = ev.length;
            if (n >= 2 && n <= MSG_STREAM_MAX && d[0] == MSG_STREAM) {
                if (n - 1 > FOLLOW_BUFFER - tail && head > 0) {
                    memmove(buffer, buffer + head, tail - head);
                    tail -= head;
                    head = 0;
                }
                if (n - 1 <= FOLLOW_BUFFER - tail) {
                    memcpy(buffer + tail, d + 1, n - 1);
                    tail += (uint32_t)(n - 1);
                } else {
                    following.problem = "cannot keep up";
                    LinkDrop(follow_link);
                }
            } else {
                NetCountDrop(d, n);
            }
        }
    }
}

int FollowNext(uint64_t *hash) {
    // Served every SERVE_MS while catching up too, however long the turns
    // and hashes take, so that the server hears the acknowledgements, keeps
    // the stream coming and can say goodbye.
    if (head == tail || (tail - head < FOLLOW_ENTRY_MAX && LinkUp(follow_link)) ||
        LinkNow() - served_at >= SERVE_MS)
        Receive();
    bool is_hash = false;
    int n =
        FollowStreamDecode(buffer + head, tail - head, following.players, slots, &is_hash, hash);
    if (n > 0) {
        head += (uint32_t)n;
        if (is_hash)
            return FOLLOW_HASH;
        memcpy(net_client_msg, slots, sizeof slots);
        return FOLLOW_TURN;
    }
    if (n == FOLLOW_BAD) {
        following.problem = "a bad stream";
        FollowLeave();
        return FOLLOW_LOST;
    }
    if (LinkUp(follow_link))
        return FOLLOW_WAIT;
    if (ended && head == tail)
        return FOLLOW_END;
    if (stopped && head == tail)
        return FOLLOW_STOPPED;
    if (ended)
        following.problem = "the stream broke off";
    return FOLLOW_LOST;
}

// Acts on one event of a try to follow again: the connection, the welcome,
// the snapshot; -1 for a refusal.
static int RejoinEvent(const LinkEvent &ev) {
    if (ev.type == LINK_CONNECTED) {
        uint8_t follow[MSG_FOLLOW_ASK_SIZE];
        NetMakeFollowAsk(follow, DataHash());
        LinkSend(follow_link, follow, sizeof follow);
        LinkFlush(follow_link);
        return 0;
    }
    if (ev.type != LINK_MESSAGE)
        return 0; // gone: the next try comes in time
    int type = welcomed ? AcceptSnapshot(ev.data, ev.length) : AcceptFollow(ev.data, ev.length);
    if (type == MSG_SNAPSHOT) {
        memcpy(snapshot, ev.data, ev.length);
        Followed(welcome);
        EmptyStream();
        return 1;
    }
    if (type == MSG_FOLLOW && GetBE64(ev.data + 9) == DataHash()) {
        memcpy(welcome, ev.data, MSG_FOLLOW_SIZE);
        welcomed = 1;
    } else if (type) {
        following.problem =
            type == MSG_FOLLOW ? "plays other data (map or tile file)" : RefusalText(type, ev.data);
        return -1;
    } else {
        NetCountDrop(ev.data, ev.length);
    }
    return 0;
}

int FollowRejoin() {
    uint32_t now = LinkNow();
    if (now - stopped_since >= NET_KEEP_MS) {
        following.problem = "the server did not come back";
        return -1;
    }
    if (now - attempt_since >= ATTEMPT_MS) {
        LinkRetry(follow_link);
        attempt_since = now;
        welcomed = 0;
    }
    static LinkEvent ev; // a message's room: kept off the stack
    for (int k = 0; k < NET_EVENTS_MAX && LinkNext(follow_link, &ev); k++) {
        int r = RejoinEvent(ev);
        if (r)
            return r;
    }
    return 0;
}

void FollowClockStart() {
    following_since = LinkNow();
}

uint32_t FollowMs() {
    return LinkNow() - following_since;
}

void FollowLeave() {
    LinkClose(follow_link);
}

bool FollowInStep(uint64_t server_hash, uint64_t world_hash) {
    static char out_of_step[48];
    if (server_hash == world_hash)
        return true;
    snprintf(out_of_step, sizeof out_of_step, "out of step at turn %u", turn);
    following.problem = out_of_step;
    FollowLeave();
    return false;
}
