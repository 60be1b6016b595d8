// Frame dispatch between menu, server turn and views.
#ifndef MD_GAME_GAMEPROC_H
#define MD_GAME_GAMEPROC_H

void Gameprocess();

#endif
