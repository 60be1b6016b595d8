// Resource files and the game initialisation. The loaders each have their own
// header, included here so that one include brings every loader.
#ifndef MD_GAME_INITALL_H
#define MD_GAME_INITALL_H

#include "client/config.h"
#include "client/palette.h"
#include "resources/strings.h"
#include "resources/tiles.h"

// Initialises the game after the platform has started, strictly in this
// order: font (a font that cannot be used ends the run), palette, tiles,
// trigonometric tables, strings, sound settings (volume 50, mode 0), one
// presentation of the frame, then the server restart.
void Initialize();

#endif
