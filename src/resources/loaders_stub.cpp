// STUB
#include "resources/initall.h"
void LoadConfig() {}
void SaveConfig() {}
void LoadPalette() {}
void initsounds() {}
void LoadStrings() {}
void LoadTiles() {}
