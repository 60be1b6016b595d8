// Spectator of a dedicated server over ENet: the handshake, the stream
// bytes buffered as they come and handed out one entry at a time.
#include "net/spectator.h"

#include <stdio.h>
#include <string.h>

#include <enet/enet.h>

#include "net/link.h"
#include "wire/protocol.h"
#include "wire/record.h"
#include "wire/spectatorstream.h"
#include "world/world.h"
#include "world/worldhash.h"

SpectatorState spectating;

#define SERVE_MS 50 // longest time between services of the connection while catching up

static NetLink spectator_link;                   // the connection to the server
static uint8_t ended;                            // the server said goodbye
static uint32_t spectating_since;                // ENet's clock when the spectator was ready
static uint32_t served_at;                       // ENet's clock at the last service
static uint8_t buffer[SPECTATOR_BUFFER];         // stream bytes not yet handed out
static uint32_t head, tail;                      // handed out up to head, received up to tail
static uint8_t slots[MAX_CLIENTS * CLIENT_SLOT]; // command slots as the stream left them

// Takes the server's answer to the spectate: a welcome that makes sense, or
// a refusal.
static int AcceptSpectatorWelcome(const uint8_t *d, size_t n) {
    if (n == MSG_SPECTATOR_WELCOME_SIZE && d[0] == MSG_SPECTATOR_WELCOME && d[1] >= 1 &&
        d[1] <= MAX_CLIENTS && d[2] <= SETUP_ALL && GetBE16(d + 3) <= SPECTATOR_DELAY_MAX)
        return MSG_SPECTATOR_WELCOME;
    if (n == MSG_REFUSE_SIZE && d[0] == MSG_REFUSE)
        return MSG_REFUSE;
    return 0;
}

// What a refusal, or no answer, means.
static const char *RefusalText(int type, const uint8_t *answer) {
    if (type != MSG_REFUSE)
        return "did not answer";
    switch (answer[1]) {
    case REFUSE_NO_SPECTATORS:
        return "takes no spectators";
    case REFUSE_SPECTATORS_FULL:
        return "has every spectator place taken";
    case REFUSE_TOO_LONG:
        return "has a game too long to follow from its start";
    case REFUSE_VERSION:
        return "speaks another protocol version";
    }
    return "refused for a reason this game does not know";
}

bool NetSpectate(const char *who, const char *address) {
    // Every spectate starts from an empty stream.
    ended = 0;
    head = tail = 0;
    memset(slots, 0, sizeof slots);
    if (!LinkConnect(spectator_link, who, address))
        return false;
    uint8_t spectate[MSG_SPECTATE_SIZE];
    NetMakeGreeting(spectate, MSG_SPECTATE);
    LinkSend(spectator_link, spectate, sizeof spectate);
    uint8_t answer[MSG_SPECTATOR_WELCOME_SIZE] = {};
    int type = LinkAwait(spectator_link, AcceptSpectatorWelcome, answer, sizeof answer);
    if (type == MSG_SPECTATOR_WELCOME && GetBE64(answer + 9) == DataHash()) {
        spectating.players = answer[1];
        spectating.setup = answer[2];
        spectating.delay = GetBE16(answer + 3);
        spectating.join_turn = GetBE32(answer + 5);
        return true;
    }
    fprintf(stderr, "%s: the server at %s:%u %s\n", who, spectator_link.name,
            (unsigned)spectator_link.port,
            type == MSG_SPECTATOR_WELCOME ? "plays other data (map or tile file)"
                                          : RefusalText(type, answer));
    LinkClose(spectator_link);
    return false;
}

// Takes what the server has sent: stream bytes into the buffer, its
// goodbye, or the loss of the connection.
static void Receive() {
    served_at = enet_time_get();
    if (head == tail)
        head = tail = 0;
    ENetEvent ev;
    for (int k = 0; k < NET_EVENTS_MAX && spectator_link.peer &&
                    enet_host_service(spectator_link.host, &ev, 0) > 0;
         k++) {
        if (ev.type == ENET_EVENT_TYPE_DISCONNECT) {
            spectator_link.peer = NULL;
            ended = ev.data == NET_BYE;
            if (!ended)
                spectating.problem = "lost the server";
        } else if (ev.type == ENET_EVENT_TYPE_RECEIVE) {
            const uint8_t *d = ev.packet->data;
            size_t n = ev.packet->dataLength;
            if (n >= 2 && n <= MSG_STREAM_MAX && d[0] == MSG_STREAM) {
                if (n - 1 > SPECTATOR_BUFFER - tail && head > 0) {
                    memmove(buffer, buffer + head, tail - head);
                    tail -= head;
                    head = 0;
                }
                if (n - 1 <= SPECTATOR_BUFFER - tail) {
                    memcpy(buffer + tail, d + 1, n - 1);
                    tail += (uint32_t)(n - 1);
                } else {
                    spectating.problem = "cannot keep up";
                    enet_peer_reset(spectator_link.peer);
                    spectator_link.peer = NULL;
                }
            } else {
                NetCountDrop(d, n);
            }
            enet_packet_destroy(ev.packet);
        }
    }
}

int SpectatorNext(uint64_t *hash) {
    // Served every SERVE_MS while catching up too, however long the turns
    // and hashes take, so that the server hears the acknowledgements, keeps
    // the stream coming and can say goodbye.
    if (head == tail || (tail - head < SPECTATOR_ENTRY_MAX && spectator_link.peer) ||
        enet_time_get() - served_at >= SERVE_MS)
        Receive();
    bool is_hash = false;
    int n = SpectatorStreamDecode(buffer + head, tail - head, spectating.players, slots, &is_hash,
                                  hash);
    if (n > 0) {
        head += (uint32_t)n;
        if (is_hash)
            return SPECTATOR_HASH;
        memcpy(net_client_msg, slots, sizeof slots);
        return SPECTATOR_TURN;
    }
    if (n == SPECTATOR_BAD) {
        spectating.problem = "a bad stream";
        SpectatorLeave();
        return SPECTATOR_LOST;
    }
    if (spectator_link.peer)
        return SPECTATOR_WAIT;
    if (ended && head == tail)
        return SPECTATOR_END;
    if (ended)
        spectating.problem = "the stream broke off";
    return SPECTATOR_LOST;
}

void SpectatorClockStart() {
    spectating_since = enet_time_get();
}

uint32_t SpectatorMs() {
    return enet_time_get() - spectating_since;
}

void SpectatorLeave() {
    LinkClose(spectator_link);
}

bool SpectatorInStep(uint64_t server_hash, uint64_t world_hash) {
    static char out_of_step[48];
    if (server_hash == world_hash)
        return true;
    snprintf(out_of_step, sizeof out_of_step, "out of step at turn %u", turn);
    spectating.problem = out_of_step;
    SpectatorLeave();
    return false;
}
