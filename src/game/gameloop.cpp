// Frame loop: frames back to back while GameLoopEnabled is set.
#include "game/gameloop.h"

#include "console/render.h"
#include "game/gameproc.h"
#include "game/globalvar.h"
#include "platform/platform.h"

// Runs frames until the menu's exit item (or a window close) clears the flag;
// the test comes after the whole frame, so the last frame is still drawn.
void GameLoop() {
    while (GameLoopEnabled) {
        Gameprocess();
        Render();
        count++;
        Platform_FpsCounter();
    }
}

// Draws the cell grid into the frame and presents it.
void Render() {
    RenderConsole();
    Platform_UpdateScreen();
}
