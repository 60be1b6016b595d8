// Fuzzes the headless runner's script reader. A text either parses to
// frames that hold only known console and pad buttons, every control given
// for every frame, or is refused naming one of its lines, all lines before
// which parse. The frames a run adds past the script's end hold nothing on
// the console's controls and carry the pads and the clock on from its end.
//
// Input: the script's text. Texts whose hold and wait lines ask for more
// than FRAME_BUDGET frames in all are skipped: a million frames take a tenth
// of a second to build.
#include <sstream>

#include "fuzzsupport.h"
#include "headless/script.h"
#include "resources/number.h"

#define FRAME_BUDGET 20000
#define EXTRA_FRAMES 3

// Frames that the hold and wait lines ask for, the lines split as the reader
// splits them; FRAME_BUDGET + 1 for more than the budget.
static uint64_t FramesAsked(const std::string &text) {
    std::istringstream lines(text);
    uint64_t sum = 0, n;
    for (std::string line; sum <= FRAME_BUDGET && std::getline(lines, line);) {
        std::istringstream in(line.substr(0, line.find('#')));
        std::string first, last;
        for (std::string w; in >> w; last = w)
            if (first.empty())
                first = w;
        if ((first == "hold" || first == "wait") && ParseNumber(last.c_str(), 0, UINT32_MAX, &n))
            sum += n;
    }
    return sum <= FRAME_BUDGET ? sum : FRAME_BUDGET + 1;
}

// Every frame gives every control, and holds known buttons only.
static void CheckFrames(const HeadlessScript &s) {
    size_t frames = ScriptFrames(s);
    FUZZ_CHECK(frames <= FRAME_BUDGET + EXTRA_FRAMES && s.held.size() == frames);
    FUZZ_CHECK(s.pads >= 0 && s.pads <= SCRIPT_PADS);
    for (size_t f = 0; f < frames; f++)
        FUZZ_CHECK(s.held[f] < (1u << BUILTIN_BUTTONS));
    for (int k = 0; k < SCRIPT_PADS; k++) {
        FUZZ_CHECK(s.padheld[k].size() == frames && s.padaxis[k][0].size() == frames &&
                   s.padaxis[k][1].size() == frames);
        for (size_t f = 0; f < frames; f++)
            FUZZ_CHECK(s.padheld[k][f] < (1u << SCRIPT_PAD_BUTTONS));
    }
}

// Frames added past the end hold nothing, keep the pads as the script left
// them and follow the clock on: the step, and a jump still pending first.
static void CheckExtended(HeadlessScript &s) {
    uint32_t frames = ScriptFrames(s), jump = s.jump;
    ExtendScript(s, frames + EXTRA_FRAMES);
    FUZZ_CHECK(ScriptFrames(s) == frames + EXTRA_FRAMES && s.jump == 0);
    for (uint32_t f = frames; f < frames + EXTRA_FRAMES; f++) {
        uint32_t before = f == 0 ? s.start : s.tick[f - 1] + s.step;
        FUZZ_CHECK(s.tick[f] == before + (f == frames ? jump : 0) && s.held[f] == 0);
        for (int k = 0; k < SCRIPT_PADS; k++)
            FUZZ_CHECK(s.padheld[k][f] == s.lastpadheld[k] &&
                       s.padaxis[k][0][f] == s.lastpadaxis[k][0] &&
                       s.padaxis[k][1][f] == s.lastpadaxis[k][1]);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text((const char *)data, size);
    if (FramesAsked(text) > FRAME_BUDGET)
        return 0;
    HeadlessScript script;
    std::string err;
    if (ParseScript(text, script, err)) {
        FUZZ_CHECK(err.empty());
        CheckFrames(script);
        CheckExtended(script);
        CheckFrames(script);
        return 0;
    }
    // "script line N: why", N a line of the text; the lines before it parse.
    unsigned line = 0;
    FUZZ_CHECK(sscanf(err.c_str(), "script line %u: ", &line) == 1 && line >= 1);
    size_t at = 0;
    for (unsigned n = 1; n < line; n++, at++) {
        at = text.find('\n', at);
        FUZZ_CHECK(at != std::string::npos);
    }
    FUZZ_CHECK(at < text.size());
    HeadlessScript before;
    FUZZ_CHECK(ParseScript(text.substr(0, at), before, err));
    CheckFrames(before);
    return 0;
}
