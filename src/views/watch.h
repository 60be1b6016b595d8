// Watching a recorded game: the record's turns run again with the server's
// own turn code at the record's pace, shown in the observer view. L and R
// halve and double the speed (a quarter of real time up to 64 times), A
// pauses, and the status line gives the turn and the speed. At the end of
// the record the view stays on the last turn. A follower of a server
// follows its game the same way, live.
#ifndef MD_VIEWS_WATCH_H
#define MD_VIEWS_WATCH_H

#include <stdint.h>

#define WATCH_SPEEDS 9       // speed steps: 1/4, 1/2, 1, 2, ... 64 times real time
#define WATCH_SPEED_REAL 2   // the step of real time, where a watch starts
#define WATCH_TURNS_MAX 1024 // turns run in one frame at most; time beyond is let go

#define WATCH_OFF 0     // not watching
#define WATCH_RUNNING 1 // turns still to come
#define WATCH_ENDED 2   // the record's end was reached
#define WATCH_BROKEN 3  // the record was cut short or corrupted

// The watch of a record or a live game, as the view and the runner see it.
struct WatchState {
    uint8_t state;                    // WATCH_*
    uint8_t speed = WATCH_SPEED_REAL; // speed step 0..WATCH_SPEEDS - 1
    uint8_t paused;                   // non-zero while A has paused the watch
};
extern WatchState watching;

// Opens a record (a regular file only) and checks its header against the
// data folder, which is the working directory. On success the watch is on
// and true is returned; otherwise one line on stderr (who: the program's
// name) and false. every >= 0 prints "turn T hash H" lines as the server's
// replay does (every `every` turns and after the last); -1 prints none.
bool WatchOpen(const char *who, const char *path, int every);

// Joins the server at "HOST[:PORT]" as a follower (net/follower.h) and
// follows its game from the start; hash lines as for WatchOpen. False after
// one line on stderr.
bool WatchFollow(const char *who, const char *address, int every);

// After the game's initialisation: the world of the game's start.
void WatchStart();

// One frame of the watch in place of the local turn and the view: the
// controls, the turns due, the observer view and the status line.
void WatchFrame();

// Closes the record, or leaves the server.
void WatchClose();

#endif
