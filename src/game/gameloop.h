// Frame loop and the per-frame render step.
#ifndef MD_GAME_GAMELOOP_H
#define MD_GAME_GAMELOOP_H

// Runs frames (dispatch, render, count, frame-rate counter) until
// GameLoopEnabled is cleared; the test comes after the whole frame, so the
// frame that clears it is still drawn.
void GameLoop();

// Draws the cell grid into the frame and presents it.
void Render();

#endif
