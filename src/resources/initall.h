// Resource files and the game initialisation.
#ifndef MD_RESOURCES_INITALL_H
#define MD_RESOURCES_INITALL_H

extern const char hextodig[16]; // "0123456789ABCDEF", position = digit value

void Initialize();
void LoadConfig();
void SaveConfig();
void LoadPalette();
void initsounds();
void LoadStrings();
void LoadTiles();

#endif
