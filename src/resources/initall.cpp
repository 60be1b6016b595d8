// Game initialisation: font, palette, tiles, tables, strings, sound settings,
// the first presentation and the server restart, strictly in that order.
#include "resources/initall.h"

#include "console/sfont.h"
#include "game/globalvar.h"
#include "math/tables.h"
#include "platform/platform.h"
#include "server/gameserver.h"

const char hextodig[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                           '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};

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
