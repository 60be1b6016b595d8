// Input script parser (the format is described in script.h).
#include "headless/script.h"

#include <ctype.h>
#include <stdlib.h>

#include <sstream>

#include "resources/number.h"

// Console button names by console button number of the built-in controls.
#define BUTTON_NAME(name) #name,
static const char *const button_name[BUILTIN_BUTTONS] = {CONSOLE_BUTTONS(BUTTON_NAME)};
#undef BUTTON_NAME

// Console button number of a name, any case; -1 when unknown.
int ScriptButton(const std::string &name) {
    std::string upper;
    for (char c : name)
        upper += (char)toupper((unsigned char)c);
    for (int b = 0; b < BUILTIN_BUTTONS; b++)
        if (upper == button_name[b])
            return b;
    return -1;
}

// Reads a decimal number of at most max; false unless the whole token is one.
static bool ReadNumber(const std::string &token, uint64_t max, uint64_t &value) {
    return token.find('\0') == token.npos && ParseNumber(token.c_str(), 0, max, &value);
}

// Reads a signed 16-bit axis value.
static bool ReadAxis(const std::string &token, int16_t &value) {
    bool negative = !token.empty() && token[0] == '-';
    uint64_t magnitude;
    if (!ReadNumber(negative ? token.substr(1) : token, negative ? 32768 : 32767, magnitude))
        return false;
    value = (int16_t)(negative ? -(int64_t)magnitude : (int64_t)magnitude);
    return true;
}

uint32_t ScriptFrames(const HeadlessScript &script) {
    return (uint32_t)script.tick.size();
}

// Appends one frame holding the given console buttons; the extra pads hold
// their current state and the clock advances by the step and any jump.
static void AddFrame(HeadlessScript &script, uint32_t held) {
    uint32_t tick = script.tick.empty() ? script.start : script.tick.back() + script.step;
    script.tick.push_back(tick + script.jump);
    script.jump = 0;
    script.held.push_back(held);
    for (int k = 0; k < SCRIPT_PADS; k++) {
        script.padheld[k].push_back(script.lastpadheld[k]);
        script.padaxis[k][0].push_back(script.lastpadaxis[k][0]);
        script.padaxis[k][1].push_back(script.lastpadaxis[k][1]);
    }
}

void ExtendScript(HeadlessScript &script, uint32_t n) {
    while (ScriptFrames(script) < n)
        AddFrame(script, 0);
}

// Parses a "pad K ..." statement; false with a reason in why.
static bool ParsePad(const std::vector<std::string> &words, HeadlessScript &script,
                     std::string &why) {
    uint64_t k;
    if (words.size() < 3 || !ReadNumber(words[1], SCRIPT_PADS, k) || k < 1) {
        why = "expected: pad K stick X Y [buttons B...] or pad K buttons [B...]";
        return false;
    }
    if ((int)k > script.pads) {
        why = "pad " + words[1] + " is not plugged in (use 'pads N' first)";
        return false;
    }
    int pad = (int)k - 1;
    size_t i = 2;
    if (words[i] == "stick") {
        int16_t x, y;
        if (i + 2 >= words.size() || !ReadAxis(words[i + 1], x) || !ReadAxis(words[i + 2], y)) {
            why = "stick needs two axis values from -32768 to 32767";
            return false;
        }
        script.lastpadaxis[pad][0] = x;
        script.lastpadaxis[pad][1] = y;
        i += 3;
        if (i == words.size())
            return true;
    }
    if (words[i] != "buttons") {
        why = "unexpected '" + words[i] + "' (expected stick or buttons)";
        return false;
    }
    uint16_t held = 0;
    for (i++; i < words.size(); i++) {
        uint64_t b;
        if (!ReadNumber(words[i], SCRIPT_PAD_BUTTONS - 1, b)) {
            why = "pad button '" + words[i] + "' is not 0..9";
            return false;
        }
        held |= (uint16_t)(1u << b);
    }
    script.lastpadheld[pad] = held;
    return true;
}

// Parses one statement already split into words; false with a reason.
static bool ParseStatement(const std::vector<std::string> &words, HeadlessScript &script,
                           std::string &why) {
    const std::string &cmd = words[0];
    uint64_t n;
    bool started = !script.tick.empty();
    if (cmd == "step" || cmd == "start" || cmd == "jump") {
        if (words.size() != 2 || !ReadNumber(words[1], UINT32_MAX, n)) {
            why = cmd + " needs one number of milliseconds (0..4294967295)";
            return false;
        }
        if (cmd == "start" && started) {
            why = "start must come before the first frame";
            return false;
        }
        if (cmd == "step")
            script.step = (uint32_t)n;
        else if (cmd == "start")
            script.start = (uint32_t)n;
        else
            script.jump += (uint32_t)n;
        return true;
    }
    if (cmd == "pads") {
        if (words.size() != 2 || !ReadNumber(words[1], SCRIPT_PADS, n)) {
            why = "pads needs a number from 0 to 4";
            return false;
        }
        if (started) {
            why = "pads must come before the first frame (pads are plugged in at start-up)";
            return false;
        }
        script.pads = (int)n;
        return true;
    }
    if (cmd == "pad")
        return ParsePad(words, script, why);
    if (cmd == "hold" || cmd == "wait") {
        size_t last = words.size() - 1;
        if (words.size() < (cmd == "hold" ? 3u : 2u) || (cmd == "wait" && words.size() != 2) ||
            !ReadNumber(words[last], SCRIPT_MAX_FRAMES, n) || n < 1) {
            why = cmd == "hold" ? "expected: hold NAME [NAME...] FRAMES (FRAMES at least 1)"
                                : "expected: wait FRAMES (at least 1)";
            return false;
        }
        uint32_t held = 0;
        for (size_t i = 1; i < last; i++) {
            int b = ScriptButton(words[i]);
            if (b < 0) {
                why = "unknown button '" + words[i] + "'";
                return false;
            }
            held |= 1u << b;
        }
        if (ScriptFrames(script) + n > SCRIPT_MAX_FRAMES) {
            why = "the script would run past 1000000 frames";
            return false;
        }
        for (uint64_t f = 0; f < n; f++)
            AddFrame(script, held);
        return true;
    }
    why = "unknown statement '" + cmd + "'";
    return false;
}

bool ParseScript(const std::string &text, HeadlessScript &script, std::string &err) {
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); number++) {
        if (line.size() > SCRIPT_MAX_LINE) {
            err = "script line " + std::to_string(number) + ": longer than " +
                  std::to_string(SCRIPT_MAX_LINE) + " bytes";
            return false;
        }
        size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream in(line);
        std::vector<std::string> words;
        for (std::string w; in >> w;)
            words.push_back(w);
        if (words.empty())
            continue;
        std::string why;
        if (!ParseStatement(words, script, why)) {
            err = "script line " + std::to_string(number) + ": " + why;
            return false;
        }
    }
    return true;
}
