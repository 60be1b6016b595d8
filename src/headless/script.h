// Input scripts of headless runs: a human-written list of frames with the
// buttons held in each and the clock of each, expanded into one entry per
// frame before the run starts. One statement per line; '#' starts a comment.
//
//   step MS          the clock advances MS milliseconds per frame from now on (default 16)
//   start MS         tick of the first frame (default 0; only before the first frame)
//   jump MS          the clock jumps MS milliseconds further before the next frame
//   pads N           extra pads plugged in, 0..4 (default 0; only before the first frame)
//   hold NAME... N   N frames holding the named console buttons together
//   wait N           N frames holding no console button
//   pad K stick X Y [buttons B...]   extra pad K (1..pads): stick axes -32768..32767
//   pad K buttons [B...]             and held buttons 0..9, kept until changed
//
// NAME is one of UP UPRIGHT RIGHT DOWNRIGHT DOWN DOWNLEFT LEFT UPLEFT START
// SELECT A B X Y L R VOLUP VOLDOWN (any case), the built-in controls of
// joystick 0. The clock is unsigned 32-bit and wraps. Frames are numbered
// from 0 in the order the lines give them.
#ifndef MD_HEADLESS_SCRIPT_H
#define MD_HEADLESS_SCRIPT_H

#include <stdint.h>

#include <string>
#include <vector>

#include "platform/buttons.h"

#define SCRIPT_MAX_FRAMES 1000000  // frames one script may describe
#define SCRIPT_MAX_BYTES (1 << 20) // bytes of a script file
#define SCRIPT_MAX_LINE 4096       // bytes of one line, its line end not counted
#define SCRIPT_PADS 4              // extra pads
#define SCRIPT_PAD_BUTTONS 10      // buttons 0..9 of an extra pad
#define SCRIPT_DEFAULT_STEP 16     // milliseconds between frames until a step line

// Per frame, parallel arrays: the tick, the held console buttons, and each
// extra pad's stick and buttons. The tail fields carry the state at the end
// of the script, from which frames beyond it continue.
struct HeadlessScript {
    std::vector<uint32_t> tick;                   // millisecond tick of the frame
    std::vector<uint32_t> held;                   // bit b: console button b held
    std::vector<uint16_t> padheld[SCRIPT_PADS];   // bit j: extra pad button j held
    std::vector<int16_t> padaxis[SCRIPT_PADS][2]; // extra pad stick, axes 0 and 1
    int pads = 0;                                 // extra pads plugged in for the run
    uint32_t step = SCRIPT_DEFAULT_STEP;          // step in force at the end
    uint32_t jump = 0;                            // jump still pending at the end
    uint32_t start = 0;                           // tick of the first frame, before jumps
    uint16_t lastpadheld[SCRIPT_PADS] = {};       // extra pad state at the end
    int16_t lastpadaxis[SCRIPT_PADS][2] = {};
};

// Console button number of a name such as "UPRIGHT" or "start" (any case);
// -1 for an unknown name.
int ScriptButton(const std::string &name);

// Parses a script text. On a bad line (or one longer than SCRIPT_MAX_LINE)
// returns false with a message naming the line number in err; the message
// quotes the script's words as they stand.
bool ParseScript(const std::string &text, HeadlessScript &script, std::string &err);

// Appends frames with nothing held on the built-in controls (extra pads and
// the clock carry on as at the script's end) until it has n frames.
void ExtendScript(HeadlessScript &script, uint32_t n);

// Number of frames in the script.
uint32_t ScriptFrames(const HeadlessScript &script);

#endif
