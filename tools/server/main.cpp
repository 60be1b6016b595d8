// marrowdigger-server: the dedicated server of on-line play. It runs the real
// restart and the real server turn from a data folder, headless, on its own
// clock, and carries packages and commands to and from up to four clients
// over ENet. With --replay it re-runs a record offline instead.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include "game/globalvar.h"
#include "math/tables.h"
#include "net/netserver.h"
#include "record/record.h"
#include "resources/initall.h"
#include "server/gameserver.h"

#define WAIT_CAP_MS 100 // longest single network wait, so a signal is seen soon

static const char usage[] =
    "usage: marrowdigger-server [--data DIR] [--port N] [--bind ADDR] [--players N]\n"
    "                           [--turn-ms N] [--turns N] [--record FILE] [--hash-every N]\n"
    "                           [--quiet]\n"
    "       marrowdigger-server --replay FILE [--data DIR] [--hash-every N]\n"
    "  --data DIR        game data folder (data/maptest.map, data/tiledata.cfg); default: .\n"
    "  --port N          UDP port, 0 for any free one (default 7742)\n"
    "  --bind ADDR       IPv4 address to listen on (default: every interface)\n"
    "  --players N       player slots, 1..4 (default 4); slot i controls creature i\n"
    "  --turn-ms N       milliseconds between turns, 1..60000 (default 500)\n"
    "  --turns N         stop after N turns (default: run until SIGINT or SIGTERM)\n"
    "  --record FILE     write a record of the game to FILE\n"
    "  --replay FILE     re-run a record offline and print the world hashes\n"
    "  --hash-every N    print the world hash every N turns, 0 never (default 100)\n"
    "  --quiet           no join and leave lines\n"
    "  --all-creatures   test option: every creature enabled, the 1024 of the world\n";

static volatile sig_atomic_t stop_asked; // SIGINT or SIGTERM came

// Signal handler: asks the loop to stop after the current wait.
static void AskStop(int) {
    stop_asked = 1;
}

// Milliseconds on the monotonic clock.
static uint32_t NowMs() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint32_t)((uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000);
}

// Parses a whole-string decimal number within lo..hi.
static bool Number(const char *s, long lo, long hi, long *v) {
    size_t n = strlen(s);
    if (n == 0 || n > 10 || strspn(s, "0123456789") != n)
        return false;
    *v = strtol(s, NULL, 10);
    return *v >= lo && *v <= hi;
}

// Prints a complaint and the usage; exit status 2.
static int BadUsage(const char *what, const char *arg) {
    fprintf(stderr, "marrowdigger-server: %s '%s'\n%s", what, arg, usage);
    return 2;
}

// Everything the options set.
struct Options {
    const char *data = ".";
    const char *bind = NULL;
    const char *record = NULL;
    const char *replay = NULL;
    long port = NET_DEFAULT_PORT;
    long players = MAX_CLIENTS;
    long turn_ms = 500;
    long turns = 0;
    long every = 100;
    int setup = SETUP_RESTART;
};

// Reads the command line into o; returns 0, or the exit status of a bad one
// (-1 after printing the usage on request).
static int ParseOptions(int argc, char **argv, Options &o) {
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (!strcmp(a, "--help") || !strcmp(a, "-h")) {
            fputs(usage, stdout);
            return -1;
        }
        if (!strcmp(a, "--quiet")) {
            net_quiet = 1;
            continue;
        }
        if (!strcmp(a, "--all-creatures")) {
            o.setup = SETUP_ALL;
            continue;
        }
        bool known = !strcmp(a, "--data") || !strcmp(a, "--bind") || !strcmp(a, "--record") ||
                     !strcmp(a, "--replay") || !strcmp(a, "--port") || !strcmp(a, "--players") ||
                     !strcmp(a, "--turn-ms") || !strcmp(a, "--turns") || !strcmp(a, "--hash-every");
        if (!known)
            return BadUsage("unknown option", a);
        if (i + 1 >= argc)
            return BadUsage("a value is missing after", a);
        const char *v = argv[++i];
        bool ok = true;
        if (!strcmp(a, "--data"))
            o.data = v;
        else if (!strcmp(a, "--bind"))
            o.bind = v;
        else if (!strcmp(a, "--record"))
            o.record = v;
        else if (!strcmp(a, "--replay"))
            o.replay = v;
        else if (!strcmp(a, "--port"))
            ok = Number(v, 0, 65535, &o.port);
        else if (!strcmp(a, "--players"))
            ok = Number(v, 1, MAX_CLIENTS, &o.players);
        else if (!strcmp(a, "--turn-ms"))
            ok = Number(v, 1, 60000, &o.turn_ms);
        else if (!strcmp(a, "--turns"))
            ok = Number(v, 0, 2000000000, &o.turns);
        else
            ok = Number(v, 0, 2000000000, &o.every);
        if (!ok)
            return BadUsage("bad value for", a);
    }
    return 0;
}

// Loads what the server turn needs: the tile table and the tables; no
// display, no font, no palette.
static void LoadServerData() {
    LoadTiles();
    LoadTables();
}

// Prints the totals of the run on one line.
static void Totals() {
    printf("marrowdigger-server: %u turns; sent %llu bytes in %llu datagrams, received %llu "
           "datagrams; dropped",
           turn, (unsigned long long)NetServerBytesSent(),
           (unsigned long long)NetServerDatagramsSent(),
           (unsigned long long)NetServerDatagramsReceived());
    for (int k = 0; k < DROP_KINDS; k++)
        printf(" %s %u", net_drop_name[k], net_dropped[k]);
    printf("\n");
}

// The live game: a turn whenever more than turn_ms have passed since the
// last, exactly as the local frame dispatch times them, and the network
// served in between. Returns the exit status.
static int Serve(const Options &o, FILE *rec) {
    uint16_t bound = 0;
    NetServerReset((int)o.players);
    if (!NetServerOpen(o.bind, (uint16_t)o.port, &bound))
        return 1;
    printf("marrowdigger-server: listening on %s:%u, %ld players, a turn every %ld ms\n",
           o.bind ? o.bind : "0.0.0.0", (unsigned)bound, o.players, o.turn_ms);
    gamestepdelay = (uint16_t)o.turn_ms;
    uint32_t start = NowMs();
    int status = 0;
    while (!stop_asked) {
        curgametick = NowMs() - start;
        uint32_t elapsed = curgametick - lastgametick;
        if (elapsed <= gamestepdelay) {
            uint32_t wait = gamestepdelay + 1 - elapsed;
            NetServerWait(wait < WAIT_CAP_MS ? wait : WAIT_CAP_MS);
            continue;
        }
        lastgametick = curgametick;
        if (rec && !RecordTurn(rec, turn, NetHeldSlots())) {
            fprintf(stderr, "marrowdigger-server: cannot write the record %s\n", o.record);
            status = 1;
            break;
        }
        ProcGameServer();
        NetServerSendPackages();
        if (o.every > 0 && turn % (uint32_t)o.every == 0)
            HashLine();
        if (o.turns > 0 && turn >= (uint32_t)o.turns)
            break;
    }
    NetServerClose();
    if (rec && status == 0 && !RecordEnd(rec, turn)) {
        fprintf(stderr, "marrowdigger-server: cannot write the record %s\n", o.record);
        status = 1;
    }
    FinalHashLine((int)o.every);
    Totals();
    return status;
}

int main(int argc, char **argv) {
    Options o;
    int bad = ParseOptions(argc, argv, o);
    if (bad)
        return bad < 0 ? 0 : bad;
    setvbuf(stdout, NULL, _IOLBF, 0);
    // Files named on the command line are relative to where the server was
    // started, so they are opened before moving into the data folder.
    FILE *rec = NULL;
    if (o.replay) {
        rec = fopen(o.replay, "rb");
        if (!rec) {
            fprintf(stderr, "marrowdigger-server: cannot read the record %s\n", o.replay);
            return 1;
        }
    } else if (o.record) {
        rec = fopen(o.record, "wb");
        if (!rec) {
            fprintf(stderr, "marrowdigger-server: cannot write the record %s\n", o.record);
            return 1;
        }
    }
    if (chdir(o.data) != 0) {
        fprintf(stderr, "marrowdigger-server: cannot enter the data folder %s\n", o.data);
        return 1;
    }
    LoadServerData();
    if (o.replay) {
        int status = ReplayRecord(rec, o.replay, (int)o.every);
        fclose(rec);
        return status;
    }
    StartWorld((int)o.players, o.setup);
    if (rec && !RecordHeader(rec, DataHash(), (uint8_t)o.players, (uint8_t)o.setup)) {
        fprintf(stderr, "marrowdigger-server: cannot write the record %s\n", o.record);
        return 1;
    }
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = AskStop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, NULL);
    sigaction(SIGTERM, &sa, NULL);
    int status = Serve(o, rec);
    if (rec && fclose(rec) != 0 && status == 0) {
        fprintf(stderr, "marrowdigger-server: cannot write the record %s\n", o.record);
        status = 1;
    }
    return status;
}
