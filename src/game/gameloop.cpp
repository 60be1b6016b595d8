// Frame loop: frames back to back while GameLoopEnabled is set.
#include "game/gameloop.h"

#include "console/render.h"
#include "game/gameproc.h"
#include "platform/platform.h"

void GameLoop() {
    while (GameLoopEnabled) {
        Gameprocess();
        Render();
        count++;
        Platform_FpsCounter();
    }
}

void Render() {
    RenderConsole();
    Platform_UpdateScreen();
}
