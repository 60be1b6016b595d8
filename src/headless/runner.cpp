// Headless runner: drives the real start-up, frame loop and shutdown on the
// scripted platform driver. After every presented frame the present hook
// records the frame (trace line, screenshots) and sets the clock and the
// controls of the next one; after the last requested frame it clears
// GameLoopEnabled, so the loop ends once that frame is counted.
#include "headless/runner.h"

#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "client/gameclient.h"
#include "console/render.h"
#include "console/sfont.h"
#include "game/gameloop.h"
#include "game/initall.h"
#include "game/startup.h"
#include "headless/pngio.h"
#include "headless/script.h"
#include "math/fnv.h"
#include "math/zmath.h"
#include "menu/mainmenu.h"
#include "net/netclient.h"
#include "platform/platform.h"
#include "platform/scripted.h"
#include "resources/errorline.h"
#include "resources/number.h"
#include "resources/options.h"
#include "views/watch.h"
#include "world/package.h"
#include "world/world.h"

#define SCRIPT_GROWTH 4096 // frames added at a time to a run that ends with its record

static const char usage[] =
    "usage: marrowdigger-headless [--data DIR] [--script FILE] [--frames N]\n"
    "                             [--screenshot FRAME:FILE.png]... [--scale N] [--trace FILE]\n"
    "  --data DIR        game data folder (client/, data/, font/); default: current folder\n"
    "  --script FILE     input script (see the README); default: nothing held\n"
    "  --frames N        frames to run; default: the script's length\n"
    "  --screenshot F:P  write frame F (numbered from 0) as a PNG to P; repeatable\n"
    "  --scale N         screenshot enlargement, 1..8 (default 1)\n"
    "  --trace FILE      one JSON line per frame ('-' for standard output)\n"
    "  --connect H[:P]   play as the client of the server at H (port P, default 7742),\n"
    "                    on the real clock, each frame lasting the script's step\n"
    "  --watch FILE      play a server's record back in the observer view; without\n"
    "                    --frames the run ends with the record\n"
    "  --spectate H[:P]  follow the game of the server at H live in the observer view,\n"
    "                    on the real clock; without --frames the run ends with the game\n"
    "  --hash-every N    with --watch or --spectate: print 'turn T hash H' every N\n"
    "                    turns and after the last, as the server does\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n";

static HeadlessScript hl_script;           // the expanded input script
static uint32_t hl_frames;                 // frames requested
static int64_t hl_frame = -1;              // frame presented next; -1 before the first
static FILE *hl_trace;                     // trace output, or NULL
static std::vector<uint32_t> shot_frame;   // screenshot requests: frame
static std::vector<std::string> shot_path; // and file
static std::vector<uint8_t> shot_taken;    // and whether it was written
static int hl_scale = 1;                   // screenshot enlargement
static std::vector<uint8_t> hl_rgb;        // screenshot work buffer
static int hl_status;                      // exit status so far
static uint8_t hl_ended_by_game;           // the game cleared GameLoopEnabled itself
static uint32_t hl_due;                    // real tick at which the next frame starts
static uint8_t hl_until_watched;           // the run ends when the watched record does

uint64_t FrameHash(const uint8_t *bytes, size_t n) {
    return Fnv64(FNV64_START, bytes, n);
}

// The text with control bytes, DEL and bytes above 127 written as escapes
// (\n, \t, \r, \xNN), so that a message never sends them to a terminal.
static std::string Printable(const std::string &text) {
    std::string out;
    for (unsigned char c : text) {
        if (c >= 32 && c < 127) {
            out += (char)c;
        } else {
            char escape[8];
            if (c == '\n' || c == '\t' || c == '\r')
                snprintf(escape, sizeof escape, "\\%c", c == '\n' ? 'n' : c == '\t' ? 't' : 'r');
            else
                snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        }
    }
    return out;
}

// Prints one line on stderr, its outside words escaped.
static void Complain(const std::string &message) {
    fprintf(stderr, "marrowdigger-headless: %s\n", Printable(message).c_str());
}

// On the real clock, waits until frame f is due: each frame lasts the
// script's step from its start (jumps included); a late frame delays the
// ones after it rather than shortening them.
static void PaceFrame(uint32_t f) {
    uint32_t now = Platform_Tick();
    if (f == 0) {
        hl_due = now;
        return;
    }
    hl_due += hl_script.tick[f] - hl_script.tick[f - 1];
    if ((int32_t)(hl_due - now) > 0)
        Platform_Delay(hl_due - now);
    else
        hl_due = now;
}

// Puts frame f's tick and controls into the scripted driver.
static void ApplyFrame(uint32_t f) {
    if (f >= ScriptFrames(hl_script)) // a run without a set length grows as it goes
        ExtendScript(hl_script, f + SCRIPT_GROWTH);
    if (seam_realclock)
        PaceFrame(f);
    seam_tick = hl_script.tick[f];
    for (int b = 0; b < BUILTIN_BUTTONS; b++)
        seam_button[0][b] = (uint8_t)((hl_script.held[f] >> b) & 1);
    for (int k = 0; k < SCRIPT_PADS; k++) {
        for (int j = 0; j < SCRIPT_PAD_BUTTONS; j++)
            seam_button[k + 1][j] = (uint8_t)((hl_script.padheld[k][f] >> j) & 1);
        seam_axis[k + 1][0] = hl_script.padaxis[k][0][f];
        seam_axis[k + 1][1] = hl_script.padaxis[k][1][f];
    }
}

// Cells of the map area that show the player glyph in view (not from
// memory): the players this client sees, its own included.
static int PlayersSeen() {
    int cols = charx ? Screen_Width / charx : 0, rows = chary ? Screen_Height / chary : 0;
    int seen = 0;
    for (int j = 0; j < cols && j < CON_W; j++)
        for (int i = 0; i + 1 < rows && i < CON_H; i++)
            seen += scch[CON_CELL(j, i)] == '@' && sccl[CON_CELL(j, i)] != UNSEEN_COLOUR;
    return seen;
}

// Trace line of a client of a server: turn, x and y as the newest package
// gives them, and the players in view.
static void TraceRemote(uint32_t f, size_t pixels) {
    const uint8_t *pkg = net_server_msg;
    uint32_t t = (uint32_t)PackageTurn(pkg);
    fprintf(hl_trace,
            "{\"frame\":%u,\"tick\":%u,\"count\":%u,\"turn\":%u,\"menu\":%u,\"loop\":%u,"
            "\"rnd_seed\":%u,\"x\":%d,\"y\":%d,\"players\":%d,\"hash\":\"%016llx\"}\n",
            f, curgametick, count, t, MainMenuEnabled, GameLoopEnabled, rnd_seed, pkg[PACKAGE_X],
            pkg[PACKAGE_Y], PlayersSeen(), (unsigned long long)FrameHash(scrbuf, pixels));
}

// Writes the trace line and the screenshots of the frame just presented.
static void RecordFrame(uint32_t f) {
    size_t pixels = (size_t)Screen_Width * Screen_Height;
    if (pixels > SCRBUF_SIZE)
        pixels = SCRBUF_SIZE;
    if (hl_trace && net_client.remote)
        TraceRemote(f, pixels);
    else if (hl_trace)
        fprintf(hl_trace,
                "{\"frame\":%u,\"tick\":%u,\"count\":%u,\"turn\":%u,\"menu\":%u,\"loop\":%u,"
                "\"rnd_seed\":%u,\"x\":%d,\"y\":%d,\"hash\":\"%016llx\"}\n",
                f, curgametick, count, turn, MainMenuEnabled, GameLoopEnabled, rnd_seed, npc_x[0],
                npc_y[0], (unsigned long long)FrameHash(scrbuf, pixels));
    for (size_t i = 0; i < shot_frame.size(); i++) {
        if (shot_frame[i] != f)
            continue;
        std::string err;
        uint32_t rows = Screen_Width ? (uint32_t)(pixels / Screen_Width) : 0;
        if (!WriteIndexedPng(shot_path[i], scrbuf, Screen_Width, rows, palette, hl_scale, hl_rgb,
                             err)) {
            Complain(err);
            hl_status = 1;
        }
        shot_taken[i] = 1;
    }
}

// Present hook: the start-up presentation sets up frame 0; every frame's
// presentation records it and sets up the next, or ends the loop after the
// last requested frame.
static void PresentHook() {
    if (hl_frame < 0) {
        hl_frame = 0;
        if (hl_frames > 0)
            ApplyFrame(0);
        return;
    }
    if (hl_frame >= hl_frames)
        return;
    uint32_t f = (uint32_t)hl_frame;
    RecordFrame(f);
    if (!GameLoopEnabled) { // the exit item (or a window close) ended the run
        hl_ended_by_game = 1;
        return;
    }
    if (f + 1 >= hl_frames || (hl_until_watched && watching.state != WATCH_RUNNING)) {
        GameLoopEnabled = 0;
        return;
    }
    hl_frame++;
    ApplyFrame(f + 1);
}

// Reads a script file into text; false with the reason in why when it
// cannot be read or is longer than SCRIPT_MAX_BYTES (a device without end,
// say), of which no more than one byte beyond is read.
static bool ReadScriptFile(const char *path, std::string &text, std::string &why) {
    FILE *file = fopen(path, "rb");
    if (!file) {
        why = strerror(errno);
        return false;
    }
    char buf[4096];
    size_t n;
    while (text.size() <= SCRIPT_MAX_BYTES && (n = fread(buf, 1, sizeof buf, file)) > 0)
        text.append(buf, n);
    bool ok = !ferror(file);
    if (!ok)
        why = strerror(errno);
    fclose(file);
    if (ok && text.size() > SCRIPT_MAX_BYTES) {
        why = "longer than 1 MiB";
        return false;
    }
    return ok;
}

// A path relative to the folder the runner was started in.
static std::string FromStartDir(const std::string &start, const std::string &path) {
    return path.empty() || path[0] == '/' ? path : start + "/" + path;
}

enum {
    OPT_HELP,
    OPT_H,
    OPT_VERSION,
    OPT_DATA,
    OPT_SCRIPT,
    OPT_FRAMES,
    OPT_SCREENSHOT,
    OPT_SCALE,
    OPT_TRACE,
    OPT_CONNECT,
    OPT_WATCH,
    OPT_SPECTATE,
    OPT_HASH_EVERY,
    OPT_COUNT
};
// Each may be given as --name=VALUE too; --help=ANYTHING is --help.
static const Option options[OPT_COUNT] = {
    {"--help", OPTION_FLAG},
    {"-h", OPTION_FLAG},
    {"--version", OPTION_FLAG},
    {"--data", OPTION_PATH},
    {"--script", OPTION_PATH},
    {"--frames", OPTION_NUMBER, 0, SCRIPT_MAX_FRAMES},
    {"--screenshot", OPTION_TEXT},
    {"--scale", OPTION_NUMBER, 1, PNG_MAX_SCALE},
    {"--trace", OPTION_PATH},
    {"--connect", OPTION_TEXT},
    {"--watch", OPTION_PATH},
    {"--spectate", OPTION_TEXT},
    {"--hash-every", OPTION_NUMBER, 0, 2000000000},
};

// Prints a one-line error; exit status 2.
static int BadUsage(const std::string &message) {
    Complain(message + " (marrowdigger-headless --help lists the options)");
    return 2;
}

// Writes out and closes the trace (standard output is only flushed); false
// when any of it could not be written, with errno telling why.
static bool CloseTrace() {
    bool ok = fflush(hl_trace) == 0 && !ferror(hl_trace);
    int why = errno;
    if (hl_trace != stdout && fclose(hl_trace) != 0 && ok) {
        ok = false;
        why = errno;
    }
    hl_trace = NULL;
    errno = why;
    return ok;
}

// Forgets the options and results of an earlier call.
static void ResetRunner() {
    hl_script = HeadlessScript();
    hl_frames = 0;
    hl_frame = -1;
    hl_trace = NULL;
    shot_frame.clear();
    shot_path.clear();
    shot_taken.clear();
    hl_scale = 1;
    hl_status = 0;
    hl_ended_by_game = 0;
    seam_signal = 0;
    hl_due = 0;
    hl_until_watched = 0;
}

int HeadlessMain(int argc, char **argv) {
    error_program = "marrowdigger-headless"; // the data loaders' lines too
    ResetRunner();
    std::string data = ".", script_path, trace_path, server, watch, followed;
    bool online = false; // --connect given, even with an empty address
    long frames = -1, every = -1;
    std::vector<std::string> shot_args;
    for (int i = 1; i < argc; i++) {
        OptionRead r = ReadOption(argc, argv, &i, options, OPT_COUNT, OPTIONS_JOINED_LAX);
        if (r.result == OPTION_UNKNOWN)
            return BadUsage("unknown option '" + std::string(argv[i], r.name_length) + "'");
        const Option &option = options[r.index];
        std::string arg = option.name;
        if (r.result == OPTION_MISSING)
            return BadUsage(arg + " needs a value");
        if (r.result == OPTION_EMPTY)
            return BadUsage(arg + " needs a path, not an empty one");
        if (r.result == OPTION_BAD_NUMBER)
            return BadUsage(arg + " needs a number from " + std::to_string(option.lo) + " to " +
                            std::to_string(option.hi));
        int k = r.index;
        if (k == OPT_HELP || k == OPT_H) {
            fputs(usage, stdout);
            return 0;
        }
        if (k == OPT_VERSION) {
            printf("marrowdigger-headless %s\n", MD_VERSION);
            return 0;
        }
        if (k == OPT_DATA)
            data = r.value;
        else if (k == OPT_SCRIPT)
            script_path = r.value;
        else if (k == OPT_TRACE)
            trace_path = r.value;
        else if (k == OPT_CONNECT) {
            server = r.value;
            online = true;
        } else if (k == OPT_WATCH)
            watch = r.value;
        else if (k == OPT_SPECTATE)
            followed = r.value;
        else if (k == OPT_SCREENSHOT)
            shot_args.push_back(r.value);
        else if (k == OPT_FRAMES)
            frames = (long)r.number;
        else if (k == OPT_HASH_EVERY)
            every = (long)r.number;
        else
            hl_scale = (int)r.number;
    }

    if (!watch.empty() + online + !followed.empty() > 1)
        return BadUsage("--connect, --watch and --spectate go one at a time");
    if (every >= 0 && watch.empty() && followed.empty())
        return BadUsage("--hash-every needs --watch or --spectate");

    // Paths are the caller's, read from the folder the runner started in, and
    // named in full in any complaint.
    char cwd[PATH_MAX];
    std::string start = getcwd(cwd, sizeof cwd) ? cwd : ".";
    script_path = FromStartDir(start, script_path);
    trace_path = trace_path == "-" ? trace_path : FromStartDir(start, trace_path);
    for (const std::string &shot : shot_args) {
        size_t colon = shot.find(':');
        uint64_t f;
        if (colon == std::string::npos || colon + 1 == shot.size() ||
            !ParseNumber(shot.substr(0, colon).c_str(), 0, UINT32_MAX, &f))
            return BadUsage("--screenshot needs FRAME:FILE.png, not '" + shot + "'");
        shot_frame.push_back((uint32_t)f);
        shot_path.push_back(FromStartDir(start, shot.substr(colon + 1)));
        shot_taken.push_back(0);
    }

    if (!script_path.empty()) {
        std::string text, why;
        if (!ReadScriptFile(script_path.c_str(), text, why)) {
            Complain("cannot read the script " + script_path + ": " + why);
            return 2;
        }
        if (!ParseScript(text, hl_script, why)) {
            Complain(script_path + ": " + why);
            return 2;
        }
    }
    hl_frames = frames >= 0 ? (uint32_t)frames : ScriptFrames(hl_script);
    if (frames < 0 && (!watch.empty() || !followed.empty())) {
        hl_frames = SCRIPT_MAX_FRAMES;
        hl_until_watched = 1;
    } else {
        ExtendScript(hl_script, hl_frames);
    }

    // Outputs are opened only once everything else has been checked.
    if (chdir(data.c_str()) != 0) {
        Complain("cannot enter the data folder " + FromStartDir(start, data));
        return 2;
    }
    std::string record = FromStartDir(start, watch);
    if (!watch.empty() && !WatchOpen("marrowdigger-headless", record.c_str(), (int)every))
        return 2;
    if (trace_path == "-") {
        hl_trace = stdout;
    } else if (!trace_path.empty()) {
        hl_trace = fopen(trace_path.c_str(), "w");
        if (!hl_trace) {
            Complain("cannot write the trace " + trace_path + ": " + strerror(errno));
            return 1;
        }
    }

    // No window and no sound card needed; a caller's own choice stands.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    seam_numjoysticks = 1 + hl_script.pads;
    seam_present_hook = PresentHook;
    SeamCatchStopSignals();

    if (!GameConnect("marrowdigger-headless", online ? server.c_str() : NULL,
                     followed.empty() ? NULL : followed.c_str(), (int)every)) {
        if (hl_trace && hl_trace != stdout)
            fclose(hl_trace);
        return 1;
    }
    if (online || !followed.empty())
        seam_realclock = 1;
    GameStart();
    if (hl_frames > 0) {
        if (hl_frame < 0) { // start-up presented nothing: set up frame 0 here
            hl_frame = 0;
            ApplyFrame(0);
        }
        hl_rgb.reserve((size_t)Screen_Width * Screen_Height * 3 * hl_scale * hl_scale);
        GameLoop();
    }
    GameEnd();
    seam_present_hook = NULL;

    if (hl_trace && !CloseTrace()) {
        Complain("cannot write the trace " + trace_path + ": " + strerror(errno));
        hl_status = 1;
    }
    for (size_t i = 0; i < shot_frame.size(); i++)
        if (!shot_taken[i]) {
            Complain("frame " + std::to_string(shot_frame[i]) + " was never presented, no " +
                     shot_path[i]);
            hl_status = 1;
        }
    uint32_t ran = hl_frames == 0 ? 0 : (uint32_t)hl_frame + 1;
    uint32_t last = net_client.remote ? (uint32_t)PackageTurn(net_server_msg) : turn;
    const char *end = hl_ended_by_game ? "the game ended the loop"
                      : hl_until_watched && watching.state == WATCH_ENDED ? "the watched game ended"
                      : hl_until_watched && watching.state == WATCH_BROKEN
                          ? "the watch broke off"
                          : "stopped after the last frame";
    if (seam_signal == SIGINT || seam_signal == SIGTERM || seam_signal == SIGHUP) {
        end = seam_signal == SIGINT    ? "stopped by SIGINT"
              : seam_signal == SIGTERM ? "stopped by SIGTERM"
                                       : "stopped by SIGHUP";
        hl_status = 128 + seam_signal;
    }
    fprintf(stderr, "marrowdigger-headless: %u frames, turn %u, %s\n", ran, last, end);
    return net_client.lost || watching.state == WATCH_BROKEN ? 1 : hl_status;
}
