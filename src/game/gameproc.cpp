// Frame dispatch: clock and pads, menu on START, server turn when due, view.
// As the client of a remote server no local turn runs: the newest package
// the server sent is put into slot 0 instead, and the command goes back.
// Watching a record, the record's turns and the observer view take the place
// of the local turn and the view.
#include "game/gameproc.h"

#include "client/gameclient.h"
#include "menu/mainmenu.h"
#include "net/netclient.h"
#include "platform/platform.h"
#include "views/observer.h"
#include "views/watch.h"
#include "world/gameserver.h"
#include "world/world.h"

void Gameprocess() {
    curgametick = Platform_Tick();
    Platform_ControlPadUpdate();
    if (net_client.remote)
        NetClientFrameStart();
    if (net_client.lost) // the server has gone: this frame is the last
        GameLoopEnabled = 0;
    if (controlpad[0].button[8])
        MainMenuEnabled = 1;
    if (MainMenuEnabled) {
        ProcMainMenu();
        return;
    }
    if (watching.state != WATCH_OFF) {
        WatchFrame();
        return;
    }
    if (!net_client.remote && TurnDue(curgametick)) {
        lastgametick = curgametick;
        ProcGameServer();
    }
    if (clientplayers)
        ProcClient();
    else
        RenderServer();
    if (net_client.remote)
        NetClientFrameEnd();
    if (net_client.lost)
        GameLoopEnabled = 0;
    if (net_client.remote && NetClientNote())
        ShowStatusNote(NetClientNote());
}
