// Program entry: start-up, the frame loop and shutdown, in that order. With
// --connect HOST[:PORT] the game joins a dedicated server first and plays as
// its client; with --watch RECORD it plays a server's record back in the
// observer view, and with --spectate HOST[:PORT] it follows a server's game
// there live.
#include <stdio.h>
#include <string.h>

#include "game/gameloop.h"
#include "game/startup.h"
#include "net/netclient.h"
#include "platform/platform.h"
#include "resources/errorline.h"
#include "views/watch.h"

// The value of option name at argv[*i], as "--name=VALUE" or "--name VALUE";
// NULL when argv[*i] is another argument. *missing is set when the value is.
static const char *OptionValue(int argc, char **argv, int *i, const char *name, bool *missing) {
    size_t n = strlen(name);
    if (strncmp(argv[*i], name, n) != 0)
        return NULL;
    if (argv[*i][n] == '=')
        return argv[*i] + n + 1;
    if (argv[*i][n] != 0)
        return NULL;
    if (*i + 1 >= argc) {
        *missing = true;
        return NULL;
    }
    return argv[++*i];
}

static const char usage[] =
    "usage: marrowdigger [--connect HOST[:PORT] | --watch RECORD | --spectate HOST[:PORT]]\n"
    "Plays MARROWDIGGER ONLINE (alpha) in a window, from the data folder it is started in\n"
    "(client/, data/, font/).\n"
    "  --connect H[:P]   play as a client of the dedicated server at H (port P, default 7742)\n"
    "  --watch RECORD    play a server's record back in the observer view\n"
    "  --spectate H[:P]  follow the game of the server at H live in the observer view\n"
    "  --help            show this help and exit\n"
    "  --version         show the version and exit\n"
    "Keys: arrows, keypad or h j k l y u b n move; Escape opens the menu; Enter, Space or Z\n"
    "chooses; F11 or Alt+Enter switches full screen.\n";

int main(int argc, char **argv) {
    const char *server = NULL, *record = NULL, *followed = NULL;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--help")) {
            fputs(usage, stdout);
            return 0;
        }
        if (!strcmp(argv[i], "--version")) {
            printf("marrowdigger %s\n", MD_VERSION);
            return 0;
        }
        bool missing = false;
        const char *v = OptionValue(argc, argv, &i, "--connect", &missing);
        if (v)
            server = v;
        else if (!missing && (v = OptionValue(argc, argv, &i, "--watch", &missing)))
            record = v;
        else if (!missing && (v = OptionValue(argc, argv, &i, "--spectate", &missing)))
            followed = v;
        else if (!missing) {
            ErrorLine("unknown option '%.80s' (%s --help lists them)", argv[i], error_program);
            return 2;
        }
        if (record && !*record) {
            ErrorLine("--watch needs a record file, not an empty name");
            return 2;
        }
        if (missing) {
            ErrorLine("%s needs %s", argv[i],
                      argv[i][2] == 'w' ? "a record file" : "HOST or HOST:PORT");
            return 2;
        }
    }
    if (!!server + !!record + !!followed > 1) {
        ErrorLine("--connect, --watch and --spectate go one at a time");
        return 2;
    }
    if (!GameConnect("marrowdigger", server, followed, -1))
        return 1;
    if (record && !WatchOpen("marrowdigger", record, -1))
        return 1;
    GameStart();
    Platform_SetWindowIcon();
    GameLoop();
    GameEnd();
    return net_client.lost || watching.state == WATCH_BROKEN ? 1 : 0;
}
