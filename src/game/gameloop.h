// Frame loop and the per-frame render step.
#ifndef MD_GAME_GAMELOOP_H
#define MD_GAME_GAMELOOP_H

void GameLoop();
void Render();

#endif
