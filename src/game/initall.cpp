// Game initialisation.
#include "game/initall.h"

#include "console/sfont.h"
#include "math/tables.h"
#include "platform/platform.h"
#include "world/gameserver.h"

void Initialize() {
    s_initfont();
    LoadPalette();
    LoadTiles();
    LoadTables();
    LoadStrings();
    volume = 50;
    SoundMode = 0;
    Platform_UpdateScreen();
    RestartServer();
}
