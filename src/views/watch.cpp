// Watching a record: the turns come from the file, one entry per turn, and
// run on the watch's own clock, which the speed scales and a pause stops.
// Following a server: the turns come from its stream as fast as they come,
// and its hash points are checked against the rebuilt world.
#include "views/watch.h"

#include <stdio.h>

#include "math/zmath.h"
#include "net/follower.h"
#include "platform/platform.h"
#include "views/observer.h"
#include "wire/record.h"
#include "world/gameserver.h"
#include "world/world.h"
#include "world/worldhash.h"

#define PAD_A 0     // logical buttons of pad 0
#define PAD_BACK 1  // X: 1,000 turns back
#define PAD_AHEAD 3 // Y: 1,000 turns ahead
#define PAD_L 4
#define PAD_R 5
#define JUMP_TURNS 1000       // turns a jump steps
#define QUARTERS_PER_MS 4     // the watch clock counts quarter milliseconds at real time
#define FOLLOW_TURNS_MAX 8192 // turns of a followed game run in one frame at most
#define FOLLOW_FRAME_MS 200   // and the time they may take, so the view moves on

WatchState watching;

static FILE *watch_file;                      // the record, positioned at the next entry
static const char *watch_who;                 // program name for the lines on stderr
static const char *watch_name;                // the record's name as given
static int watch_players;                     // players of the record
static int watch_setup;                       // creature set-up of the record
static int watch_every = -1;                  // hash line period, -1 none
static uint16_t watch_seed;                   // the watched world's random stream position
static uint64_t watch_clock;                  // quarter milliseconds of record time not yet run
static uint32_t watch_lasttick;               // tick of the previous watch frame
static uint32_t watch_lastcount = UINT32_MAX; // frame count of the previous watch frame
static char watch_fault[48];                  // what broke the watch, for the status line
static uint8_t watch_live;                    // following a server, not a record
static uint8_t watch_caught_up;               // a follower has reached the turn it joined at
static uint64_t watch_hash;                   // world hash taken after the last turn run
static uint8_t watch_hashed;                  // watch_hash holds the world as it stands
static uint8_t watch_stopped;                 // the followed server stopped; waiting for it

bool WatchOpen(const char *who, const char *path, int every) {
    watch_file = RecordOpenRead(who, path);
    if (!watch_file)
        return false;
    if (!RecordReadHeader(watch_file, who, path, &watch_players, &watch_setup)) {
        WatchClose();
        return false;
    }
    watch_who = who;
    watch_name = path;
    watch_every = every;
    watching.state = WATCH_RUNNING;
    return true;
}

bool WatchFollow(const char *who, const char *address, int every) {
    if (!NetFollow(who, address))
        return false;
    watch_who = who;
    watch_players = following.players;
    watch_setup = following.setup;
    watch_every = every;
    watch_live = 1;
    watching.state = WATCH_RUNNING;
    return true;
}

// Declared here, defined below: the watch broke off.
static void Broken(const char *what);

void WatchStart() {
    StartWorld(watch_players, watch_setup);
    if (watch_live && !FollowRestore())
        Broken(following.problem);
    watch_seed = rnd_seed;
    if (watch_live)
        FollowClockStart();
}

void WatchClose() {
    if (watch_live)
        FollowLeave();
    if (watch_file)
        fclose(watch_file);
    watch_file = NULL;
}

// The world hash as it stands, taken at most once per turn: the hash line
// and the server's hash point at the same turn share it.
static uint64_t TurnHash() {
    if (!watch_hashed)
        watch_hash = WorldHash();
    watch_hashed = 1;
    return watch_hash;
}

// Runs one turn with the commands in net_client_msg. The menu's background
// draws from the same random stream; the watched world keeps its own
// position so that it stays the game's world.
static void RunTurn() {
    rnd_seed = watch_seed;
    ProcGameServer();
    watch_seed = rnd_seed;
    watch_hashed = 0;
    if (watch_every > 0 && turn % (uint32_t)watch_every == 0)
        HashLineOf(TurnHash());
}

// The watched game is over: the view stays on its last turn.
static void Ended() {
    watching.state = WATCH_ENDED;
    if (watch_every >= 0)
        FinalHashLine(watch_every);
}

// The watch broke off: what went wrong goes on the status line and stderr.
static void Broken(const char *what) {
    watching.state = WATCH_BROKEN;
    snprintf(watch_fault, sizeof watch_fault, "%s", what);
    if (watch_every >= 0 && !watch_live)
        HashLine();
    if (watch_live)
        fprintf(stderr, "%s: %s\n", watch_who, watch_fault);
    else
        fprintf(stderr, "%s: %s is %s at turn %u\n", watch_who, watch_name, what, turn);
}

// Runs the record's next turn, or notes its end or its fault.
static void WatchTurn() {
    rnd_seed = watch_seed; // a snapshot in the record is checked against the watched world
    int r = RecordReadTurn(watch_file, watch_players);
    if (r == RECORD_TURN)
        RunTurn();
    else if (r == RECORD_DONE)
        Ended();
    else
        Broken(RecordFault(r));
}

// While the followed server is stopped: waits for it, and once it takes
// this follower back, starts its new game's world from the new snapshot.
static void AwaitServer() {
    int r = FollowRejoin();
    if (r < 0) {
        watch_stopped = 0;
        Broken(following.problem);
    } else if (r > 0) {
        watch_stopped = watch_caught_up = watch_hashed = 0;
        watch_players = following.players;
        watch_setup = following.setup;
        fprintf(stderr, "%s: the server is back: following its new game\n", watch_who);
        WatchStart();
    }
}

// Runs the followed game's turns that have come, up to a frame's share, and
// checks each hash point.
static void FollowTurns() {
    if (watch_stopped) {
        AwaitServer();
        return;
    }
    uint32_t began = FollowMs();
    for (int n = 0; n < FOLLOW_TURNS_MAX && watching.state == WATCH_RUNNING &&
                    FollowMs() - began < FOLLOW_FRAME_MS;) {
        uint64_t hash = 0;
        int r = FollowNext(&hash);
        if (r == FOLLOW_WAIT)
            break;
        if (r == FOLLOW_TURN) {
            RunTurn();
            n++;
        } else if (r == FOLLOW_HASH && !FollowInStep(hash, TurnHash())) {
            Broken(following.problem);
        } else if (r == FOLLOW_END) {
            Ended();
        } else if (r == FOLLOW_LOST) {
            Broken(following.problem);
        } else if (r == FOLLOW_STOPPED) {
            watch_stopped = 1;
            fprintf(stderr, "%s: the server stopped; waiting for it to come back\n", watch_who);
            break;
        }
    }
    if (!watch_caught_up && turn + following.delay >= following.join_turn) {
        watch_caught_up = 1;
        fprintf(stderr, "%s: caught up with turn %u in %u ms\n", watch_who, turn, FollowMs());
    }
}

// Steps the record JUMP_TURNS turns back (back set) or ahead: from the
// snapshot nearest before the target, the turns up to it run at once.
static void Jump(bool back) {
    uint32_t target = back ? (turn > JUMP_TURNS ? turn - JUMP_TURNS : 0) : turn + JUMP_TURNS;
    if (back && watching.state == WATCH_BROKEN)
        return;
    rnd_seed = watch_seed;
    int r = RecordJump(watch_file, watch_players, target);
    if (r == RECORD_TURN) {
        watch_seed = rnd_seed;
        watch_hashed = 0;
        watching.state = WATCH_RUNNING;
    } else if (r != RECORD_NONE) {
        Broken(RecordFault(r));
        return;
    }
    for (int n = 0; n < WATCH_TURNS_MAX && turn < target && watching.state == WATCH_RUNNING; n++)
        WatchTurn();
    watch_clock = 0;
}

// L and R step the speed down and up, A pauses and resumes, X and Y jump
// JUMP_TURNS back and ahead.
static void WatchControls() {
    if (watch_live)
        return;
    const ControlPad &pad = controlpad[0];
    if (pad.pressed[PAD_BACK] || pad.pressed[PAD_AHEAD])
        Jump(pad.pressed[PAD_BACK] != 0);
    if (pad.pressed[PAD_L] && watching.speed > 0)
        watching.speed--;
    if (pad.pressed[PAD_R] && watching.speed + 1 < WATCH_SPEEDS)
        watching.speed++;
    if (pad.pressed[PAD_A])
        watching.paused = !watching.paused;
}

// Runs the turns that fell due since the previous watch frame. Time spent
// outside the watch (the menu) does not count.
static void WatchTurnsDue() {
    uint32_t elapsed = count == watch_lastcount + 1 ? curgametick - watch_lasttick : 0;
    watch_lasttick = curgametick;
    watch_lastcount = count;
    if (watch_live && watching.state == WATCH_RUNNING)
        FollowTurns();
    if (watch_live || watching.paused || watching.state != WATCH_RUNNING)
        return;
    watch_clock += (uint64_t)elapsed << watching.speed;
    uint64_t period = (uint64_t)gamestepdelay * QUARTERS_PER_MS;
    if (period == 0)
        period = 1;
    for (int n = 0; watch_clock >= period && watching.state == WATCH_RUNNING; n++) {
        if (n == WATCH_TURNS_MAX) {
            watch_clock = 0;
            break;
        }
        WatchTurn();
        watch_clock -= period;
    }
}

// The status line: turn, speed and what the watch is doing.
static void WatchStatus() {
    char speed[8];
    if (watch_live)
        snprintf(speed, sizeof speed, "live");
    else if (watching.speed < WATCH_SPEED_REAL)
        snprintf(speed, sizeof speed, "1/%dx", 1 << (WATCH_SPEED_REAL - watching.speed));
    else
        snprintf(speed, sizeof speed, "%dx", 1 << (watching.speed - WATCH_SPEED_REAL));
    const char *doing = watching.state == WATCH_ENDED    ? "end"
                        : watch_stopped                  ? "server stopped; waiting"
                        : watch_live && !watch_caught_up ? "catching up"
                        : watching.state == WATCH_BROKEN ? watch_fault
                        : watching.paused                ? "paused"
                                                         : "";
    char text[96];
    snprintf(text, sizeof text, "Turn %u  %s  Npc: %u  %s", turn, speed, (unsigned)npcs, doing);
    ObserverStatus(text);
}

void WatchFrame() {
    WatchControls();
    WatchTurnsDue();
    RenderServer();
    WatchStatus();
}
