// Client of a dedicated server over its link (net/link.h): the join with its handshake, the
// newest package, the command sent when it changes, and the way back into
// the game when the link drops.
#include "net/netclient.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "net/link.h"
#include "net/tokenfile.h"
#include "resources/errorline.h"
#include "wire/protocol.h"

// A server that acknowledges nothing for 1.5 to 2 s (LinkPlayerTimeouts)
// counts as lost, and the client tries to get back in at once; a slow link
// stays in. ENet looks at its time-outs only when it resends, which can be
// up to 3 s into a silence, so the client also ends the link itself after
// LINK_SILENT_MS without an acknowledgement.
#define LINK_SILENT_MS 2000
#define RELINK_MS NET_KEEP_MS // how long the client tries to get back in: as its slot is kept
#define ATTEMPT_MS 2000       // one try to connect again, before the next
#define TOKEN_PATH 4096
#define HELD_MAX 16   // commands kept while the link is down, applied one a turn after
#define NOTE_MS 10000 // how long the restart is shown on the status row
#define NOTE_SIZE 64  // bytes of the restart's note
#define STOPPED_NOTE "the server stopped; waiting for it to come back"

#define FULL_RETRY_MS 1000 // between tries at a full server

NetClientState net_client;
bool (*net_full_wait)(uint32_t ms);

static NetLink server_link;            // the connection to the server
static uint8_t last_sent[CLIENT_SLOT]; // command bytes the server holds, as far as known
static uint32_t sent_seq;              // number of the last command sent
static uint32_t acked_seq;             // number of the last command the server applied
static uint8_t pending;                // the last command sent is not applied yet
static const char *prog = "marrowdigger";
static uint64_t token;              // this player's token for the server, 0 none
static char token_path[TOKEN_PATH]; // its file, empty for none
static int token_lock = -1;         // lock held on the token file while the game runs
static uint32_t relink_since;       // when the link dropped
static uint32_t attempt_since;      // when the current try began
static uint8_t hello_sent;          // the current try has said hello
static uint64_t game_id;            // identity of the game joined, 0 before the first welcome
static uint8_t held[HELD_MAX][CLIENT_SLOT]; // commands made while the link was down, oldest first
static uint8_t held_count;                  // how many
static uint8_t released;                    // the pad let go since the newest command held
static uint8_t applied_cmd[CLIENT_SLOT];    // bytes of the last command applied, zero for none
static uint8_t repeat_ok; // the pad has held applied_cmd since it went out: the same again repeats
static uint8_t provisional;  // the command on its way only repeats a direction held down
static char note[NOTE_SIZE]; // the restart's note, empty for none
static uint32_t note_since;  // when it was set

// Whether command bytes are empty: no command, or a withdrawal.
static bool Empty(const uint8_t *cmd) {
    return cmd[0] == 0 && cmd[1] == 0;
}

// Finds the token file of the first seat no other running game holds, takes
// its lock and reads its token; none when every seat is taken. A token that
// cannot be kept at all (no folder for it, or one that cannot be written)
// is said in one line, and the game plays without one.
static void ClaimToken(const char *name, uint16_t port) {
    token = 0;
    token_path[0] = 0;
    int failure = 0; // errno of a folder or file that cannot be used
    bool placed = false;
    for (int seat = 1; seat <= MAX_CLIENTS && token_lock < 0 && !failure; seat++) {
        if (!TokenPath(name, port, seat, token_path, sizeof token_path))
            break;
        placed = true;
        token_lock = LockTokenFile(token_path);
        if (token_lock < 0 && errno != EWOULDBLOCK)
            failure = errno;
    }
    if (!placed)
        fprintf(stderr,
                "%s: no folder for the player's token (XDG_STATE_HOME and HOME are "
                "unset); playing without one\n",
                prog);
    else if (failure)
        fprintf(stderr, "%s: cannot keep the player's token in %s: %s; playing without one\n", prog,
                token_path, strerror(failure));
    if (token_lock < 0)
        token_path[0] = 0;
    else
        token = LoadToken(prog, token_path);
}

// Takes the server's answer to the hello: a welcome that makes sense, or a
// refusal.
static int AcceptAnswer(const uint8_t *d, size_t n) {
    if (n == MSG_WELCOME_SIZE && d[0] == MSG_WELCOME && d[1] < d[2] && d[2] <= MAX_CLIENTS &&
        GetBE16(d + 4) < WORLD_X && GetBE16(d + 6) < WORLD_Y)
        return MSG_WELCOME;
    if (n == MSG_REFUSE_SIZE && d[0] == MSG_REFUSE)
        return MSG_REFUSE;
    return 0;
}

// Says hello with this player's token, if it has one.
static void SendHello() {
    uint8_t hello[MSG_HELLO_SIZE];
    NetMakeHello(hello, token);
    LinkSend(server_link, hello, sizeof hello);
    LinkFlush(server_link);
}

// Takes a welcome: the slot, the level, the token (kept for the next run)
// and where the numbering of commands stands. A command not yet applied is
// sent again; one the server applied before the link dropped is withdrawn.
static void Welcomed(const uint8_t *w) {
    uint64_t game = GetBE64(w + 20);
    bool fresh = game_id != 0 && game != game_id; // the server restarted: a new game
    game_id = game;
    net_client.slot = w[1];
    net_client.level_x = GetBE16(w + 4);
    net_client.level_y = GetBE16(w + 6);
    uint64_t given = GetBE64(w + 8);
    if (given != token && token_path[0])
        SaveToken(prog, token_path, given);
    token = given;
    uint32_t applied = GetBE32(w + 16);
    if (fresh) {
        // The old game and its numbering are gone: this player starts anew,
        // and a command not applied in the old game goes to the new one.
        snprintf(note, sizeof note, "the server restarted: you are player %u in a new game",
                 (unsigned)w[1] + 1);
        note_since = LinkNow();
        fprintf(stderr, "%s: %s\n", prog, note);
        sent_seq = applied;
        net_client.packages = 0;
    }
    // (A withdrawal on its way needs no resending: the hello empties the slot.)
    if (pending && ((!fresh && NetSeqReached(applied, sent_seq)) || Empty(last_sent)))
        net_client_msg[0] = net_client_msg[1] = 0;
    else if (pending) { // sent again first, before the commands held since
        if (held_count == HELD_MAX)
            held_count--;
        memmove(held[1], held[0], (size_t)held_count * CLIENT_SLOT);
        memcpy(held[0], last_sent, CLIENT_SLOT);
        held_count++;
        net_client_msg[0] = net_client_msg[1] = 0;
    }
    if (!NetSeqReached(sent_seq, applied))
        sent_seq = applied;
    acked_seq = applied;
    pending = provisional = repeat_ok = 0;
    memset(last_sent, 0, sizeof last_sent);
    LinkPlayerTimeouts(server_link);
}

// Forgets every trace of an earlier session in this process: the game and
// its identity, the command numbers, the commands held and the note.
static void ForgetSession() {
    net_client = NetClientState();
    memset(last_sent, 0, sizeof last_sent);
    sent_seq = acked_seq = 0;
    pending = held_count = released = provisional = repeat_ok = 0;
    game_id = 0;
    note[0] = 0;
}

#ifndef __EMSCRIPTEN__
// Says the goodbye of a game that exits without its end (a failure's exit,
// a display lost under it).
static void LeaveAtExit() {
    NetLeave();
}
#endif

// One try to join: connects, claims the token at the first try (claimed),
// says hello and takes the answer: its type, 0 none, -1 unreachable.
static int TryJoin(const char *who, const char *address, uint8_t *answer, size_t room,
                   bool *claimed) {
    if (!LinkConnect(server_link, who, address))
        return -1;
    if (!*claimed)
        ClaimToken(server_link.name, server_link.port);
    *claimed = true;
    uint8_t hello[MSG_HELLO_SIZE];
    NetMakeHello(hello, token);
    LinkGreet(server_link, hello, sizeof hello); // said again on a new connection if need be
    return LinkAwait(server_link, AcceptAnswer, answer, room);
}

bool NetJoin(const char *who, const char *address) {
    prog = who;
    ForgetSession();
    bool claimed = false;
    uint8_t answer[MSG_WELCOME_SIZE];
    int type = TryJoin(who, address, answer, sizeof answer, &claimed);
    for (bool told = false;
         type == MSG_REFUSE && answer[1] == REFUSE_FULL && net_full_wait && server_link.host;
         told = true) {
        if (!told)
            fprintf(stderr, "%s: the server at %s:%u is full; waiting for a free slot\n", prog,
                    server_link.shown, (unsigned)server_link.port);
        LinkClose(server_link);
        if (!net_full_wait(FULL_RETRY_MS)) {
            NetLeave();
            return false;
        }
        type = TryJoin(who, address, answer, sizeof answer, &claimed);
    }
    if (type < 0) {
        NetLeave();
        return false;
    }
    const char *shown = server_link.shown;
    unsigned port = server_link.port;
    if (type == MSG_WELCOME) {
#ifndef __EMSCRIPTEN__ // the page says its goodbye when it goes (linkweb.cpp)
        static bool registered;
        if (!registered)
            registered = atexit(LeaveAtExit) == 0;
#endif
        Welcomed(answer);
        net_client.remote = 1;
        return true;
    }
    if (type == MSG_REFUSE && answer[1] == REFUSE_FULL)
        fprintf(stderr, "%s: the server at %s:%u is full\n", prog, shown, port);
    else if (type == MSG_REFUSE && answer[1] == REFUSE_VERSION)
        fprintf(stderr, "%s: the server at %s:%u speaks protocol version %u, this game %u\n", prog,
                shown, port, (unsigned)GetBE16(answer + 2), (unsigned)NET_VERSION);
    else if (type == MSG_REFUSE)
        fprintf(stderr, "%s: the server at %s:%u refused the join for an unknown reason (%u)\n",
                prog, shown, port, (unsigned)answer[1]);
    else
        fprintf(stderr, "%s: the server at %s:%u did not answer the join\n", prog, shown, port);
    NetLeave();
    return false;
}

void NetClientStart() {
    mapsizex[0] = net_client.level_x;
    mapsizey[0] = net_client.level_y;
}

// The server has gone: one line, and the loop ends after this frame (the
// frame's caller sees net_client.lost).
static void Lost(const char *why) {
    fprintf(stderr, "%s: %s\n", prog, why);
    net_client.lost = 1;
    net_client.relinking = 0;
    LinkDrop(server_link);
}

// The link dropped without a goodbye, or the server said it stops and may
// come back: the game goes on, and the client tries to get its slot back.
static void StartRelink() {
    LinkForget(server_link);
    net_client.relinking = 1;
    relink_since = LinkNow();
    attempt_since = relink_since - ATTEMPT_MS;
}

// Takes a package: the newest view and how far the server has applied the
// commands.
static void TakePackage(const uint8_t *d) {
    acked_seq = GetBE32(d + 1);
    memcpy(net_client.package, d + MSG_PACKAGE_HEAD, PACKAGE_COPY);
    net_client.packages++;
}

// Acts on one event of a joined client.
static void Event(const LinkEvent &ev) {
    if (ev.type == LINK_GONE) {
        if (ev.code == NET_BYE)
            Lost("the server ended the game");
        else if (ev.code == NET_REPLACED)
            Lost("another game took this player's slot");
        else
            StartRelink();
        if (ev.code == NET_STOPPING) { // said on stderr and the status row while waiting
            snprintf(note, sizeof note, "%s", STOPPED_NOTE);
            fprintf(stderr, "%s: %s\n", prog, note);
        }
    } else if (ev.type == LINK_MESSAGE) {
        if (ev.length == MSG_PACKAGE_SIZE && ev.data[0] == MSG_PACKAGE)
            TakePackage(ev.data);
        else
            NetCountDrop(ev.data, ev.length);
    }
}

// Acts on one event while getting back in: the connection, the answer to
// the hello, or a try that failed.
static void RelinkEvent(const LinkEvent &ev) {
    if (ev.type == LINK_CONNECTED) {
        SendHello();
        hello_sent = 1;
    } else if (ev.type == LINK_MESSAGE) { // (after LINK_GONE the next try comes in time)
        const uint8_t *answer = ev.data;
        int type = AcceptAnswer(ev.data, ev.length);
        if (!type)
            NetCountDrop(ev.data, ev.length);
        if (type == MSG_WELCOME && hello_sent) {
            if (strcmp(note, STOPPED_NOTE) == 0) // back: a restart's welcome says so anew
                note[0] = 0;
            Welcomed(answer);
            NetClientStart();
            net_client.relinking = 0;
        } else if (type == MSG_REFUSE) {
            Lost(answer[1] == REFUSE_FULL ? "lost the connection, and the server is full now"
                                          : "lost the connection, and the server has changed");
        }
    }
}

// One step of getting back in: a new try when the last one's time is up,
// and the end of it all after RELINK_MS.
static void Relink() {
    uint32_t now = LinkNow();
    if (now - relink_since >= RELINK_MS) {
        Lost(strcmp(note, STOPPED_NOTE) == 0 ? "the server did not come back"
                                             : "lost the connection to the server");
        return;
    }
    if (now - attempt_since < ATTEMPT_MS)
        return;
    LinkRetry(server_link);
    attempt_since = now;
    hello_sent = 0;
}

void NetClientFrameStart() {
    if (!server_link.host || net_client.lost) {
        memcpy(net_server_msg, net_client.package, PACKAGE_COPY);
        return;
    }
    if (net_client.relinking)
        Relink();
    static LinkEvent ev; // a message's room: kept off the stack
    for (int k = 0;
         k < NET_EVENTS_MAX && server_link.host && !net_client.lost && LinkNext(server_link, &ev);
         k++) {
        if (net_client.relinking)
            RelinkEvent(ev);
        else
            Event(ev);
    }
    if (!net_client.relinking && !net_client.lost && LinkUp(server_link) &&
        LinkSilentMs(server_link) >= LINK_SILENT_MS) {
        LinkDrop(server_link);
        StartRelink();
    }
    if (pending && NetSeqReached(acked_seq, sent_seq)) {
        // Applied at a turn: withdrawn here as the server has withdrawn it;
        // a direction still held sets it again and it goes out anew, as a
        // repeat (see NetClientFrameEnd).
        memcpy(applied_cmd, last_sent, CLIENT_SLOT);
        repeat_ok = !released && !held_count && !Empty(last_sent);
        pending = provisional = 0;
        net_client_msg[0] = net_client_msg[1] = 0;
        memset(last_sent, 0, sizeof last_sent);
    }
    memcpy(net_server_msg, net_client.package, PACKAGE_COPY);
}

// While the link is down or a command is on its way (sent, not applied
// yet), and until the commands held are all sent: a command the view set
// that differs from the newest one kept, or follows a release of the pad,
// is held (up to HELD_MAX), and the slot is withdrawn, so that every tap
// counts once and none replaces another; a direction held down is not
// held again.
static void Hold(uint8_t *cmd) {
    if (cmd[0] == 0 && cmd[1] == 0) {
        released = 1;
        return;
    }
    bool in_flight = pending && memcmp(cmd, last_sent, CLIENT_SLOT) == 0;
    const uint8_t *newest = held_count ? held[held_count - 1] : pending ? last_sent : NULL;
    if (!(in_flight && !released) && (released || !newest || memcmp(cmd, newest, CLIENT_SLOT)) &&
        held_count < HELD_MAX)
        memcpy(held[held_count++], cmd, CLIENT_SLOT);
    released = 0;
    cmd[0] = cmd[1] = 0;
}

int NetClientUnapplied() {
    return held_count + pending;
}

const char *NetClientNote() {
    if (net_client.relinking)
        return strcmp(note, STOPPED_NOTE) == 0 ? note : "reconnecting";
    if (note[0] && LinkNow() - note_since < NOTE_MS)
        return note;
    return NULL;
}

// Sends cmd with the next number; the server keeps it in the slot until
// its turn applies it, and the next command in its place replaces it.
static void Send(const uint8_t *cmd) {
    uint8_t msg[MSG_COMMAND_SIZE];
    msg[0] = MSG_COMMAND;
    PutBE32(msg + 1, ++sent_seq);
    memcpy(msg + MSG_COMMAND_HEAD, cmd, CLIENT_SLOT);
    LinkSend(server_link, msg, sizeof msg);
    memcpy(last_sent, cmd, CLIENT_SLOT);
    pending = 1;
    LinkFlush(server_link);
}

void NetClientFrameEnd() {
    if (!server_link.host || net_client.lost)
        return;
    uint8_t *cmd = net_client_msg; // slot 0
    if (Empty(cmd))                // the pad is let go: a press from now on is a new tap
        repeat_ok = 0;
    bool down = !LinkUp(server_link) || net_client.relinking;
    // A withdrawal on its way moves nothing: the next command replaces it.
    bool in_flight = pending && !Empty(last_sent);
    bool queued = down || in_flight || held_count; // the pad's command goes through Hold
    if (provisional && memcmp(cmd, last_sent, CLIENT_SLOT) != 0) {
        // The key of a repeat was let go before the server applied it: the
        // pad's command takes its place, an empty one when nothing is held,
        // so that the tap moves once. While the link is down the repeat is
        // forgotten (the hello empties the slot), and the pad's command held.
        provisional = 0;
        memset(last_sent, 0, sizeof last_sent);
        if (!down) {
            released = Empty(cmd);
            Send(cmd);
            cmd[0] = cmd[1] = 0;
            return;
        }
    }
    if (queued) {
        Hold(cmd);
        if (down || in_flight || !held_count)
            return;
        // The oldest command held goes out now, the next when it is applied.
        memcpy(cmd, held[0], CLIENT_SLOT);
        held_count--;
        memmove(held[0], held[1], (size_t)held_count * CLIENT_SLOT);
    }
    if (memcmp(last_sent, cmd, CLIENT_SLOT) == 0)
        return;
    // The direction applied last, held down since: it moves again at the
    // next turn unless the key is let go before then.
    provisional = !queued && repeat_ok && memcmp(cmd, applied_cmd, CLIENT_SLOT) == 0;
    repeat_ok = 0;
    Send(cmd);
    // The pad holds this direction now. A command from the queue leaves the
    // pad as Hold found it: a new tap of the same direction still counts.
    if (!queued)
        released = 0;
    cmd[0] = cmd[1] = 0; // the server holds it now; the pad may set it again
}

void NetLeave() {
    if (net_client.relinking) // no goodbye to a try that has not got back in
        LinkForget(server_link);
    LinkClose(server_link);
    if (token_lock >= 0)
        close(token_lock);
    token_lock = -1;
}
