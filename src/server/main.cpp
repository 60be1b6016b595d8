// marrowdigger-server: the dedicated server of on-line play. It runs the real
// restart and the real server turn from a data folder, headless, on its own
// clock, and carries packages and commands to and from up to four clients
// over ENet. With --replay it re-runs a record offline instead.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "net/netserver.h"
#include "net/serverhost.h"
#include "resources/errorline.h"
#include "resources/options.h"
#include "resources/tiles.h"
#include "resources/tokens.h"
#include "wire/followstream.h"
#include "wire/record.h"
#include "wire/replay.h"
#include "world/gameserver.h"
#include "world/world.h"
#include "world/worldhash.h"

#define WAIT_CAP_MS 100  // longest single network wait, so a signal is seen soon
#define STREAM_WAIT_MS 2 // the same while a follower is catching up, to keep its stream coming
#define STREAM_GAP_MS 50 // turns shorter than this reach the followers together

// The data folder of an installed server, where the build installs its data;
// it is taken only when it is there.
#ifndef MD_INSTALLED_DATA
#define MD_INSTALLED_DATA ""
#endif
// The page's files of an installed server (the WebAssembly build), the
// default of --web-root; a build folder's own build-web/ otherwise.
#ifndef MD_INSTALLED_WEB
#define MD_INSTALLED_WEB ""
#endif

static const char usage[] =
    "usage: marrowdigger-server [--data DIR] [--port N] [--bind ADDR] [--players N]\n"
    "                           [--turn-ms N] [--turns N] [--record FILE | --record-dir DIR]\n"
    "                           [--hash-every N] [--record-overwrite] [--spectators N]\n"
    "                           [--spectator-delay T] [--web-port N [--web-root DIR]]\n"
    "                           [--quiet]\n"
    "       marrowdigger-server --replay FILE [--data DIR] [--hash-every N]\n"
    "  --data DIR        game data folder (data/maptest.map, data/tiledata.cfg); default:\n"
    "                    $MARROWDIGGER_DATA, else " MD_INSTALLED_DATA " if there, else .\n"
    "  --port N          UDP port, 0 for any free one (default 7742)\n"
    "  --bind ADDR       IPv4 address to listen on (default: every interface)\n"
    "  --players N       player slots, 1..4 (default 4); slot i controls creature i\n"
    "  --turn-ms N       milliseconds between turns, 1..60000 (default 500)\n"
    "  --turns N         stop after N turns (default: run until SIGINT or SIGTERM)\n"
    "  --record FILE     write a record of the game to FILE, a new file\n"
    "  --record-dir DIR  write the record to a new file YYYYMMDD-HHMMSS-PORT.rec in DIR\n"
    "                    (UTC start time, the port listened on)\n"
    "  --record-overwrite  let --record replace an existing record\n"
    "  --replay FILE     re-run a record offline and print the world hashes\n"
    "  --hash-every N    print the world hash every N turns, 0 never (default 100)\n"
    "  --spectators N    spectator places, 0..16 (default 0: none taken)\n"
    "  --spectator-delay T  turns the spectators' stream is held back, 0..1000 (default 20)\n"
    "  --web-port N      also take browsers: WebSocket players and spectators and the\n"
    "                    game's page over HTTP on TCP port N, 0 for any free one\n"
    "                    (default: off)\n"
    "  --web-root DIR    the page's files (default: " MD_INSTALLED_WEB " if there, else\n"
    "                    build-web)\n"
    "  --quiet           no join and leave lines\n"
    "  --all-creatures   test option: every creature enabled, the 1024 of the world\n"
    "  --first-turn N    test option: the turn counter starts at N (measuring late\n"
    "                    spectators); no record\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n";

static volatile sig_atomic_t stop_asked; // SIGINT or SIGTERM came
// What each slot's player is sent after a turn: the package the next turn
// will build, so the turn's moves show at once.
static uint8_t next_packages[MAX_CLIENTS * PACKAGE_COPY];

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

// Prints a one-line complaint; exit status 2.
static int BadUsage(const char *what, const char *arg) {
    char shown[ECHO_SIZE];
    ErrorLine("%s '%s'", what, EchoText(arg, shown));
    return 2;
}

// Everything the options set.
struct Options {
    const char *data = NULL;    // NULL: the default folder, found by DataFolder
    const char *data_from = ""; // where a default folder came from, for its lines
    const char *bind = NULL;
    const char *record = NULL;
    const char *record_dir = NULL;
    const char *replay = NULL;
    const char *web_root = NULL; // NULL: the default folder
    long web_port = -1;          // -1: no door
    long port = NET_DEFAULT_PORT;
    long players = MAX_CLIENTS;
    long turn_ms = 500;
    long turns = 0;
    long every = 100;
    long followers = 0;
    long delay = 20;
    long first_turn = 0;
    int setup = SETUP_RESTART;
    bool overwrite = false;
};

// The options, each as "--name VALUE" only (--port=N is no option).
enum {
    OPT_HELP,
    OPT_H,
    OPT_VERSION,
    OPT_QUIET,
    OPT_ALL_CREATURES,
    OPT_RECORD_OVERWRITE,
    OPT_DATA,
    OPT_RECORD,
    OPT_RECORD_DIR,
    OPT_REPLAY,
    OPT_BIND,
    OPT_PORT,
    OPT_PLAYERS,
    OPT_TURN_MS,
    OPT_TURNS,
    OPT_HASH_EVERY,
    OPT_FOLLOWERS,
    OPT_FOLLOW_DELAY,
    OPT_WEB_PORT,
    OPT_WEB_ROOT,
    OPT_FIRST_TURN,
    OPT_COUNT
};
static const Option options[OPT_COUNT] = {
    {"--help", OPTION_FLAG},
    {"-h", OPTION_FLAG},
    {"--version", OPTION_FLAG},
    {"--quiet", OPTION_FLAG},
    {"--all-creatures", OPTION_FLAG},
    {"--record-overwrite", OPTION_FLAG},
    {"--data", OPTION_PATH},
    {"--record", OPTION_PATH},
    {"--record-dir", OPTION_PATH},
    {"--replay", OPTION_PATH},
    {"--bind", OPTION_TEXT},
    {"--port", OPTION_NUMBER, 0, 65535},
    {"--players", OPTION_NUMBER, 1, MAX_CLIENTS},
    {"--turn-ms", OPTION_NUMBER, 1, 60000},
    {"--turns", OPTION_NUMBER, 0, 2000000000},
    {"--hash-every", OPTION_NUMBER, 0, 2000000000},
    {"--spectators", OPTION_NUMBER, 0, FOLLOW_MAX},
    {"--spectator-delay", OPTION_NUMBER, 0, FOLLOW_DELAY_MAX},
    {"--web-port", OPTION_NUMBER, 0, 65535},
    {"--web-root", OPTION_PATH},
    {"--first-turn", OPTION_NUMBER, 0, 2000000000},
};

// Reads the command line into o; returns 0, or the exit status of a bad one
// (-1 after printing the usage or the version on request).
static int ParseOptions(int argc, char **argv, Options &o) {
    // The complaint of each OptionResult, in its order.
    static const char *const complaint[] = {NULL, "unknown option", "a value is missing after",
                                            "an empty path for", "bad value for"};
    for (int i = 1; i < argc; i++) {
        OptionRead r = ReadOption(argc, argv, &i, options, OPT_COUNT, OPTIONS_SPACED);
        if (r.result != OPTION_OK)
            return BadUsage(complaint[r.result],
                            r.result == OPTION_UNKNOWN ? argv[i] : options[r.index].name);
        int k = r.index;
        long n = (long)r.number;
        if (k == OPT_HELP || k == OPT_H) {
            fputs(usage, stdout);
            return -1;
        }
        if (k == OPT_VERSION) {
            printf("marrowdigger-server %s\n", MD_VERSION);
            return -1;
        }
        if (k == OPT_QUIET)
            net_server.quiet = 1;
        else if (k == OPT_ALL_CREATURES)
            o.setup = SETUP_ALL;
        else if (k == OPT_RECORD_OVERWRITE)
            o.overwrite = true;
        else if (k == OPT_DATA)
            o.data = r.value;
        else if (k == OPT_RECORD)
            o.record = r.value;
        else if (k == OPT_RECORD_DIR)
            o.record_dir = r.value;
        else if (k == OPT_REPLAY)
            o.replay = r.value;
        else if (k == OPT_BIND)
            o.bind = r.value;
        else if (k == OPT_PORT)
            o.port = n;
        else if (k == OPT_PLAYERS)
            o.players = n;
        else if (k == OPT_TURN_MS)
            o.turn_ms = n;
        else if (k == OPT_TURNS)
            o.turns = n;
        else if (k == OPT_HASH_EVERY)
            o.every = n;
        else if (k == OPT_FOLLOWERS)
            o.followers = n;
        else if (k == OPT_WEB_PORT)
            o.web_port = n;
        else if (k == OPT_WEB_ROOT)
            o.web_root = r.value;
        else if (k == OPT_FIRST_TURN)
            o.first_turn = n;
        else
            o.delay = n;
    }
    if (o.record && o.record_dir) {
        ErrorLine("--record and --record-dir cannot go together: give one");
        return 2;
    }
    if (o.first_turn && (o.record || o.record_dir || o.replay)) {
        ErrorLine("--first-turn cannot go with a record: a record starts at turn 0");
        return 2;
    }
    return 0;
}

// The data folder when --data gives none: MARROWDIGGER_DATA when set, else
// the installed data when it is there, else the current folder (a build's
// gamedata/).
static void DataFolder(Options &o) {
    const char *env = getenv("MARROWDIGGER_DATA");
    struct stat st;
    if (env && *env) {
        o.data = env;
        o.data_from = " (MARROWDIGGER_DATA)";
    } else if (*MD_INSTALLED_DATA && stat(MD_INSTALLED_DATA, &st) == 0 && S_ISDIR(st.st_mode)) {
        o.data = MD_INSTALLED_DATA;
    } else {
        o.data = ".";
    }
}

// Checks that the data files the server reads can be opened, so that a
// missing one is named with the folder it was looked for in; one line when
// one cannot.
static bool DataFilesThere(const char *data) {
    static const char *const files[] = {"data/tiledata.cfg", "data/maptest.map"};
    for (const char *file : files) {
        char err[320];
        int fd = OpenDataFile(file, err, sizeof err);
        if (fd >= 0) {
            close(fd);
            continue;
        }
        // The loader's line with the folder after the file's name.
        char here[PATH_MAX];
        const char *folder = getcwd(here, sizeof here) ? here : data;
        const char *name = strstr(err, file);
        int head = name ? (int)(name - err + strlen(file)) : (int)strlen(err);
        ErrorLine("%.*s in %s%s (give the data folder with --data DIR)", head, err, folder,
                  err + head);
        return false;
    }
    return true;
}

// Moves into the data folder and checks its files; one line when it cannot.
static bool EnterData(const Options &o) {
    if (chdir(o.data) != 0) {
        ErrorLine("cannot enter the data folder %s%s: %s", o.data, o.data_from, strerror(errno));
        return false;
    }
    return DataFilesThere(o.data);
}

// Loads the data and builds the starting world. False, after one line, when
// the tile file or the map is missing or gives no tile or an empty level:
// the line of the loader that failed, else one saying what is wrong.
static bool LoadWorld(const Options &o) {
    uint32_t lines = error_lines;
    LoadServerData();
    if (tiletypes == 0) {
        if (error_lines == lines)
            ErrorLine("data/tiledata.cfg holds no tile");
        return false;
    }
    StartWorld((int)o.players, o.setup);
    turn = (uint32_t)o.first_turn;
    if (mapsizex[0] == 0 && mapsizey[0] == 0) {
        if (error_lines == lines)
            ErrorLine("data/maptest.map gives an empty level");
        return false;
    }
    return true;
}

// Prints the totals of the run on one line; with followers, the stream
// bytes sent to them at its end.
static void Totals(bool followers) {
    printf("marrowdigger-server: %u turns; sent %llu bytes in %llu datagrams, received %llu "
           "datagrams; dropped",
           turn, (unsigned long long)NetServerBytesSent(),
           (unsigned long long)NetServerDatagramsSent(),
           (unsigned long long)NetServerDatagramsReceived());
    for (int k = 0; k < DROP_KINDS; k++)
        printf(" %s %u", net_drop_name[k], net_dropped[k]);
    printf("; ended half-open %u silent %u", NetServerHalfOpenEnded(), NetServerSilentEnded());
    if (followers)
        printf("; stream %llu bytes", (unsigned long long)NetServerStreamBytes());
    printf("\n");
}

// Every how many turns the follow stream carries the world hash: the
// server's own hash lines, or FOLLOW_HASH_EVERY when it prints none.
static uint32_t StreamHashEvery(const Options &o) {
    return o.every > 0 ? (uint32_t)o.every : FOLLOW_HASH_EVERY;
}

// After a turn: the stream's hash entry when one is due and the turn's end;
// what the followers may now have goes out at once while one is catching up
// (streaming), else when STREAM_GAP_MS have passed since the last sending,
// so that fast turns go in fewer packets. Returns whether one is catching up.
static bool StreamTurnEnd(const Options &o, bool streaming) {
    static uint32_t last_sent;
    if (turn % StreamHashEvery(o) == 0)
        FollowStreamHash(WorldHash());
    FollowStreamMark(turn, FollowSnapDue(turn) ? WorldHash() : 0);
    if (!streaming && NowMs() - last_sent < STREAM_GAP_MS)
        return false;
    last_sent = NowMs();
    return NetServerSendStream(false);
}

// The game ends: the world hash of the last turn, unless it was just given,
// and the whole stream to every follower.
static void StreamEnd(const Options &o) {
    if (turn % StreamHashEvery(o) != 0)
        FollowStreamHash(WorldHash());
    NetServerSendStream(true);
}

// The live game: a turn whenever more than turn_ms have passed since the
// last, exactly as the local frame dispatch times them, and the network
// served in between. Returns the exit status.
static int Serve(const Options &o, FILE *rec, const char *rec_name, uint16_t bound) {
    net_server.followers = (uint8_t)o.followers;
    net_server.follow_delay = (uint16_t)o.delay;
    net_server.setup = (uint8_t)o.setup;
    net_server.data_hash = DataHash();
    if (o.followers) {
        FollowStreamReset();
        FollowStreamMark(turn, WorldHash());
    }
    printf("marrowdigger-server: listening on %s:%u, %ld players, a turn every %ld ms\n",
           o.bind ? o.bind : "0.0.0.0", (unsigned)bound, o.players, o.turn_ms);
    gamestepdelay = (uint16_t)o.turn_ms;
    uint32_t start = NowMs();
    int status = 0;
    bool streaming = false; // a follower has stream still to come
    while (!stop_asked) {
        curgametick = NowMs() - start;
        if (!TurnDue(curgametick)) {
            uint32_t wait = gamestepdelay + 1 - (curgametick - lastgametick);
            uint32_t cap = streaming ? STREAM_WAIT_MS : WAIT_CAP_MS;
            NetServerWait(wait < cap ? wait : cap);
            if (streaming)
                streaming = NetServerSendStream(false);
            continue;
        }
        lastgametick = curgametick;
        // Turns slower than their delay come back to back: the network is
        // still served before each one.
        NetServerWait(0);
        uint8_t held = NetHeldSlots();
        if (o.followers)
            FollowStreamTurn(held);
        if (rec && !RecordTurn(rec, turn, held)) {
            RecordWriteFailed(rec_name);
            status = 1;
            break;
        }
        ProcGameServer();
        NetServerTurnDone();
        PrepareNextPackages(next_packages);
        NetServerSendPackages(next_packages);
        if (o.every > 0 && turn % (uint32_t)o.every == 0)
            HashLine();
        if (o.followers)
            streaming = StreamTurnEnd(o, streaming);
        if (o.turns > 0 && turn >= (uint32_t)o.turns)
            break;
    }
    if (o.followers)
        StreamEnd(o);
    // Stopped by a signal (the service's stop or restart), the server tells
    // its peers it may come back; its last turn or a failure ends the game.
    NetServerClose(stop_asked && status == 0 ? NET_STOPPING : NET_BYE);
    if (rec && status == 0 && !RecordEnd(rec, turn)) {
        RecordWriteFailed(rec_name);
        status = 1;
    }
    FinalHashLine((int)o.every);
    Totals(o.followers > 0);
    return status;
}

// Replays a record offline; the exit status.
static int ReplayMain(const Options &o) {
    FILE *rec = RecordOpenRead(error_program, o.replay);
    if (!rec)
        return 1;
    int status = 1;
    if (EnterData(o)) {
        LoadServerData();
        status = ReplayRecord(rec, o.replay, (int)o.every);
    }
    fclose(rec);
    return status;
}

// The folder of --record-dir, open; it is checked before the port is bound,
// so that a server given a wrong folder ends at once. -1 after one line.
static int OpenRecordFolder(const char *folder) {
    int fd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0 && faccessat(fd, ".", W_OK | X_OK, 0) == 0)
        return fd;
    int why = errno;
    if (fd >= 0)
        close(fd);
    ErrorLine("cannot write records into the folder %s: %s", folder, strerror(why));
    return -1;
}

// Where the record goes, open before the server moves into its data folder:
// the start folder, to which a --record name is relative, or the folder of
// --record-dir; and the record's name in lines.
struct RecordPlace {
    int start = -1;
    int folder = -1;
    time_t started = 0; // the start of the server, which names a --record-dir record
    const char *name = NULL;
    char path[PATH_MAX + 64] = "";
};

// Opens the record and writes its header, once the world stands; NULL after
// one line when it cannot.
static FILE *StartRecord(const Options &o, RecordPlace &p, uint16_t bound) {
    FILE *rec;
    if (p.folder >= 0) {
        rec = OpenRecordIn(p.folder, o.record_dir, p.started, bound, p.path, sizeof p.path);
        p.name = p.path;
    } else {
        rec = OpenRecordOut(p.start, o.record, o.overwrite);
        p.name = o.record;
    }
    if (rec && !RecordHeader(rec, DataHash(), (uint8_t)o.players, (uint8_t)o.setup)) {
        RecordWriteFailed(p.name);
        fclose(rec);
        rec = NULL;
    }
    if (rec && p.folder >= 0)
        printf("marrowdigger-server: recording to %s\n", p.name);
    return rec;
}

// The folder of the page's files: --web-root, else the installed one when
// it is there, else build-web.
static const char *WebRoot(const Options &o) {
    struct stat st;
    if (o.web_root)
        return o.web_root;
    if (*MD_INSTALLED_WEB && stat(MD_INSTALLED_WEB, &st) == 0 && S_ISDIR(st.st_mode))
        return MD_INSTALLED_WEB;
    return "build-web";
}

// The live server. A record folder is checked first, then the port is bound,
// so that a second server started by mistake on the same port stops before it
// touches any record; the record is opened last, once the world stands.
// Returns the exit status.
static int LiveMain(const Options &o) {
    RecordPlace place;
    place.started = time(NULL);
    if (o.record_dir && (place.folder = OpenRecordFolder(o.record_dir)) < 0)
        return 1;
    uint16_t bound = 0;
    NetServerReset((int)o.players);
    uint16_t web_bound = 0;
    if (!NetServerOpen(o.bind, (uint16_t)o.port, &bound) ||
        (o.web_port >= 0 &&
         !NetServerOpenDoor(o.bind, (uint16_t)o.web_port, WebRoot(o), &web_bound))) {
        NetServerClose(NET_BYE);
        if (place.folder >= 0)
            close(place.folder);
        return 1;
    }
    if (o.web_port >= 0)
        printf("marrowdigger-server: browsers join at http://%s:%u/?play\n",
               o.bind ? o.bind : "HOST", (unsigned)web_bound);
    if (o.record && (place.start = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) < 0)
        ErrorLine("cannot keep the start folder for the record: %s", strerror(errno));
    bool recording = o.record || o.record_dir;
    FILE *rec = NULL;
    int status = 1;
    if ((!o.record || place.start >= 0) && EnterData(o) && LoadWorld(o) &&
        (!recording || (rec = StartRecord(o, place, bound)))) {
        status = Serve(o, rec, place.name, bound);
    } else {
        NetServerClose(NET_BYE);
    }
    if (place.start >= 0)
        close(place.start);
    if (place.folder >= 0)
        close(place.folder);
    errno = 0;
    if (rec && fclose(rec) != 0 && status == 0) {
        RecordWriteFailed(place.name);
        status = 1;
    }
    return status;
}

// Catches SIGINT and SIGTERM to end the game cleanly, and ignores SIGPIPE:
// a reader of the output that goes away must not cut the record short. A
// file-size limit on the record is a failed write (EFBIG), said in one line
// with the players told goodbye, not a silent death by SIGXFSZ.
static void CatchSignals() {
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = AskStop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, NULL);
    sigaction(SIGTERM, &sa, NULL);
    sa.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &sa, NULL);
    sigaction(SIGXFSZ, &sa, NULL);
}

int main(int argc, char **argv) {
    error_program = "marrowdigger-server";
    Options o;
    int bad = ParseOptions(argc, argv, o);
    if (bad)
        return bad < 0 ? 0 : bad;
    if (!o.data)
        DataFolder(o);
    setvbuf(stdout, NULL, _IOLBF, 0);
    CatchSignals();
    return o.replay ? ReplayMain(o) : LiveMain(o);
}
