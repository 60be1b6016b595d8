// Program entry: start-up, the frame loop and shutdown, in that order. With
// --connect HOST[:PORT] the game joins a dedicated server first and plays as
// its client; with --watch RECORD it plays a server's record back in the
// observer view, and with --spectate HOST[:PORT] it follows a server's game
// there live.
#include <stdio.h>

#include "game/gameloop.h"
#include "game/startup.h"
#include "net/netclient.h"
#include "platform/platform.h"
#include "resources/errorline.h"
#include "resources/options.h"
#include "views/watch.h"

// The options; a value may follow as --connect=HOST too.
enum { OPT_HELP, OPT_VERSION, OPT_CONNECT, OPT_WATCH, OPT_SPECTATE, OPT_HASH_EVERY, OPT_COUNT };
static const Option options[OPT_COUNT] = {
    {"--help", OPTION_FLAG},     {"--version", OPTION_FLAG},
    {"--connect", OPTION_TEXT},  {"--watch", OPTION_PATH},
    {"--spectate", OPTION_TEXT}, {"--hash-every", OPTION_NUMBER, 0, 2000000000},
};

static const char usage[] =
    "usage: marrowdigger [--connect HOST[:PORT] | --watch RECORD | --spectate HOST[:PORT]]\n"
    "                    [--hash-every N]\n"
    "Plays MARROWDIGGER ONLINE (alpha) in a window, from the data folder it is started in\n"
    "(client/, data/, font/).\n"
    "  --connect H[:P]   play as a client of the dedicated server at H (port P, default 7742)\n"
    "  --watch RECORD    play a server's record back in the observer view\n"
    "  --spectate H[:P]  follow the game of the server at H live in the observer view\n"
    "  --hash-every N    with --watch or --spectate: print 'turn T hash H' every N\n"
    "                    turns and after the last, as the server does\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n"
    "Keys: arrows, keypad or h j k l y u b n move; Escape opens the menu; Enter, Space or Z\n"
    "chooses; F11 or Alt+Enter switches full screen.\n";

// Between tries at a full server: waits ms unless a stop signal came (the
// player left); whether to try again.
static bool WaitForSlot(uint32_t ms) {
    for (uint32_t waited = 0; waited < ms && !Platform_StopSignal(); waited += 50)
        Platform_Delay(50);
    return !Platform_StopSignal();
}

int main(int argc, char **argv) {
    const char *server = NULL, *record = NULL, *followed = NULL;
    int every = -1; // --hash-every, -1 when not given
    for (int i = 1; i < argc; i++) {
        OptionRead r = ReadOption(argc, argv, &i, options, OPT_COUNT, OPTIONS_JOINED);
        if (r.result == OPTION_UNKNOWN) {
            ErrorLine("unknown option '%.80s' (%s --help lists them)", argv[i], error_program);
            return 2;
        }
        if (r.result == OPTION_EMPTY) {
            ErrorLine("--watch needs a record file, not an empty name");
            return 2;
        }
        if (r.result == OPTION_BAD_NUMBER) {
            ErrorLine("--hash-every needs a number of turns, 0 to 2000000000");
            return 2;
        }
        if (r.result == OPTION_MISSING) {
            ErrorLine("%s needs %s", options[r.index].name,
                      r.index == OPT_WATCH        ? "a record file"
                      : r.index == OPT_HASH_EVERY ? "a number of turns"
                                                  : "HOST or HOST:PORT");
            return 2;
        }
        if (r.index == OPT_HELP) {
            fputs(usage, stdout);
            return 0;
        }
        if (r.index == OPT_VERSION) {
            printf("marrowdigger %s\n", MD_VERSION);
            return 0;
        }
        if (r.index == OPT_CONNECT)
            server = r.value;
        else if (r.index == OPT_WATCH)
            record = r.value;
        else if (r.index == OPT_HASH_EVERY)
            every = (int)r.number;
        else
            followed = r.value;
    }
    if (!!server + !!record + !!followed > 1) {
        ErrorLine("--connect, --watch and --spectate go one at a time");
        return 2;
    }
    if (every >= 0 && !record && !followed) {
        ErrorLine("--hash-every needs --watch or --spectate");
        return 2;
    }
    // A stop signal or a lost display after the join still says the goodbye;
    // the display is checked before the join, not after it.
    Platform_CatchStopSignals();
    if ((server || followed) && !Platform_CheckDisplay())
        return 1;
    net_full_wait = WaitForSlot;
    if (!GameConnect("marrowdigger", server, followed, every))
        return 1;
    if (record && !WatchOpen("marrowdigger", record, every))
        return 1;
    GameStart();
    Platform_SetWindowIcon();
    GameLoop();
    GameEnd();
    return net_client.lost || watching.state == WATCH_BROKEN ? 1 : 0;
}
