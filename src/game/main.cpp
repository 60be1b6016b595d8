// Program entry: start-up, the frame loop and shutdown, in that order. With
// --connect HOST[:PORT] the game joins a dedicated server first and plays as
// its client; with --watch RECORD it plays a server's record back in the
// observer view. Every other argument is ignored.
#include <stdio.h>
#include <string.h>

#include "game/gameloop.h"
#include "net/netclient.h"
#include "platform/platform.h"
#include "resources/initall.h"
#include "watch/watch.h"

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

int main(int argc, char **argv) {
    const char *server = NULL, *record = NULL;
    for (int i = 1; i < argc; i++) {
        bool missing = false;
        const char *v = OptionValue(argc, argv, &i, "--connect", &missing);
        if (v)
            server = v;
        else if (!missing && (v = OptionValue(argc, argv, &i, "--watch", &missing)))
            record = v;
        if (missing) {
            fprintf(stderr, "marrowdigger: %s needs %s\n", argv[i],
                    argv[i][2] == 'c' ? "HOST or HOST:PORT" : "a record file");
            return 2;
        }
    }
    if (server && record) {
        fprintf(stderr, "marrowdigger: --connect and --watch cannot go together\n");
        return 2;
    }
    LoadConfig();
    if (server && !NetJoin("marrowdigger", server))
        return 1;
    if (record && !WatchOpen("marrowdigger", record, -1))
        return 1;
    Platform_Init();
    Initialize();
    if (net_remote)
        NetClientStart();
    if (record)
        WatchStart();
    GameLoop();
    NetLeave();
    WatchClose();
    SaveConfig();
    Platform_ShutDown();
    return net_lost || watch_state == WATCH_BROKEN ? 1 : 0;
}
