// Headless runs of the real game: start-up, frame loop and shutdown on a
// scripted clock and scripted controls, with the dummy SDL video driver.
// After each presented frame it can write a trace line and screenshots.
//
// Trace: one JSON object per line and frame, the state as the frame is
// presented: {"frame":F,"tick":T,"count":C,"turn":N,"menu":M,"loop":L,
// "rnd_seed":R,"x":X,"y":Y,"hash":"H"} with the frame number F (from 0), the
// frame's millisecond tick, count (frames completed before this one, so equal
// to F), the server turn counter, MainMenuEnabled, GameLoopEnabled, the
// random stream position, the player creature's cell (npc_x[0], npc_y[0]) and
// the FNV-1a 64-bit hash of the 320 x 240 frame bytes as 16 hex digits.
#ifndef MD_HEADLESS_RUNNER_H
#define MD_HEADLESS_RUNNER_H

#include <stddef.h>
#include <stdint.h>

// Runs the game as the command line asks; the result is the exit status:
// 0 done; 1 a trace or screenshot could not be written, or the watched record
// broke off; 2 bad options, script, data folder or record (checked before any
// output is opened); 130 or 143 when
// SIGINT or SIGTERM stopped the run at a frame boundary (the trace holds the
// frames presented until then).
// Runs once per process: the game's state is not reset between runs.
int HeadlessMain(int argc, char **argv);

// FNV-1a 64-bit hash of a byte block.
uint64_t FrameHash(const uint8_t *bytes, size_t n);

#endif
