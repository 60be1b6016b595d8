// Frame dispatch: clock and pads, menu on START, server turn when due, view.
#include "game/gameproc.h"

#include "client/gameclient.h"
#include "game/globalvar.h"
#include "menu/mainmenu.h"
#include "platform/platform.h"
#include "server/gameserver.h"

// One frame's work before rendering.
void Gameprocess() {
    curgametick = Platform_Tick();
    Platform_ControlPadUpdate();
    if (controlpad[0].button[8])
        MainMenuEnabled = 1;
    if (MainMenuEnabled) {
        ProcMainMenu();
        return;
    }
    uint32_t elapsed = curgametick - lastgametick;
    if (elapsed > gamestepdelay) {
        lastgametick = curgametick;
        ProcGameServer();
    }
    if (clientplayers)
        ProcClient();
    else
        RenderServer();
}
