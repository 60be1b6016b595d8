// Program entry: start-up, the frame loop and shutdown, in that order. With
// --connect HOST[:PORT] the game joins a dedicated server first and plays as
// its client; every other argument is ignored, as it always was.
#include <stdio.h>
#include <string.h>

#include "game/gameloop.h"
#include "net/netclient.h"
#include "platform/platform.h"
#include "resources/initall.h"

int main(int argc, char **argv) {
    const char *server = NULL;
    for (int i = 1; i < argc; i++) {
        if (!strncmp(argv[i], "--connect=", 10)) {
            server = argv[i] + 10;
        } else if (!strcmp(argv[i], "--connect")) {
            if (i + 1 >= argc) {
                fprintf(stderr, "marrowdigger: --connect needs HOST or HOST:PORT\n");
                return 2;
            }
            server = argv[++i];
        }
    }
    LoadConfig();
    if (server && !NetJoin("marrowdigger", server))
        return 1;
    Platform_Init();
    Initialize();
    if (net_remote)
        NetClientStart();
    GameLoop();
    NetLeave();
    SaveConfig();
    Platform_ShutDown();
    return net_lost ? 1 : 0;
}
