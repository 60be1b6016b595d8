// STUB
#include "menu/mainmenu.h"
const char menuitem[5][32] = {" SINGLEPLAYER      ", " MULTIPLAYER GAME  ", " REPLAY DIRECTORY  ", " SYSTEM CONFIG     ", " EXIT GAME         "};
void ProcMainMenu() {}
void RenderMainMenu() {}
