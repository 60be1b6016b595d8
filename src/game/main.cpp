// Program entry: start-up, the frame loop and shutdown, in that order.
#include "game/gameloop.h"
#include "platform/platform.h"
#include "resources/initall.h"

int main(int, char **) {
    LoadConfig();
    Platform_Init();
    Initialize();
    GameLoop();
    SaveConfig();
    Platform_ShutDown();
    return 0;
}
