// Start-up and end of a run, shared by the game and the headless runner.
#include "game/startup.h"

#include "client/config.h"
#include "game/initall.h"
#include "net/netclient.h"
#include "platform/platform.h"
#include "views/watch.h"

bool GameConnect(const char *who, const char *server, const char *followed, int every) {
    LoadConfig();
    if (server && !NetJoin(who, server))
        return false;
    return !followed || WatchFollow(who, followed, every);
}

void GameStart() {
    Platform_Init();
    Initialize();
    if (net_client.remote)
        NetClientStart();
    if (watching.state != WATCH_OFF)
        WatchStart();
}

void GameEnd() {
    NetLeave();
    WatchClose();
    SaveConfig();
    Platform_ShutDown();
}
