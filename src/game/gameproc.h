// Frame dispatch between menu, server turn and views.
#ifndef MD_GAME_GAMEPROC_H
#define MD_GAME_GAMEPROC_H

// One frame's work before rendering: take the tick and update the pads; open
// the menu on START and, while it is open, run only the menu; otherwise run
// a server turn when more than gamestepdelay ms have passed since the last
// (never as the client of a remote server, whose newest package goes into
// slot 0 instead), then the client view, or the observer view when there
// are no client players.
void Gameprocess();

#endif
