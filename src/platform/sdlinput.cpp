// The game's platform driver: controls from SDL's joysticks, keyboard and
// window-close request and SDL's millisecond clock. The frame end and the
// exit come with it from handback.cpp (desktop and handheld) or
// webframe.cpp (the page).
#include <string.h>

#include "platform/input.h"
#include "platform/pads.h"
#include "platform/platform.h"
#include "platform/window.h"

#include <signal.h>
#include <string.h>

#ifdef __EMSCRIPTEN__
// Emscripten's SDL headers give SDL 1.2's key state call its SDL 2 name.
#define SDL_GetKeyState SDL_GetKeyboardState
#endif

#ifdef __EMSCRIPTEN__
#define EVENT_BATCH 1     // Emscripten's SDL hands over one event per call
#define EVENT_ROUNDS 1024 // at most this many a frame
#else
#define EVENT_BATCH 16  // events taken off the queue per call
#define EVENT_ROUNDS 64 // at most this many batches a frame
#endif

#ifdef __EMSCRIPTEN__
#define LATCH_KEYS 2048 // Emscripten's SDL numbers keys as SDL 2 does: below 1024 + 512
#else
#define LATCH_KEYS SDLK_LAST
#endif

static volatile sig_atomic_t stop_signal; // SIGINT, SIGTERM or SIGHUP caught, 0 none
static const Uint8 *keystate;             // SDL's keyboard state, refreshed by PollInput
static int keycount;                      // entries in keystate
static uint8_t key_taken[SDLK_LAST];      // pressed for a desktop action, hidden until let go
static uint8_t key_latched[LATCH_KEYS];   // pressed in this frame's events, maybe let go since

// Number of joysticks present, never negative.
int JoystickCount() {
    int n = SDL_NumJoysticks();
    return n > 0 ? n : 0;
}

// Opens joystick index and writes its name into name.
SDL_Joystick *OpenJoystick(int index, char *name) {
    SDL_Joystick *joystick = SDL_JoystickOpen(index);
    CopyPadName(name, SDL_JoystickName(index));
    return joystick;
}

// Desktop keys: F11 and Alt+Enter switch full screen. The Enter key of the
// switch stays hidden from the game until it is let go, so that it never
// presses a console button. Any other key pressed is latched: held for this
// frame even when let go before it, so that a quick tap is never lost.
static void DesktopKey(const SDL_Event &event) {
    int sym = event.key.keysym.sym;
    bool enter = sym == SDLK_RETURN || sym == SDLK_KP_ENTER;
    bool toggle = event.type == SDL_KEYDOWN &&
                  (sym == SDLK_F11 || (enter && (event.key.keysym.mod & KMOD_ALT)));
    if (event.type == SDL_KEYDOWN && !toggle && sym >= 0 && sym < LATCH_KEYS)
        key_latched[sym] = 1;
    if (sym < 0 || sym >= SDLK_LAST)
        return;
    // A key goes back to the game when let go or pressed again on its own.
    key_taken[sym] = toggle ? 1 : 0;
    if (toggle)
        Platform_ToggleFullScreen();
}

uint8_t KeyTaken(int key) {
    return key >= 0 && key < SDLK_LAST ? key_taken[key] : 0;
}

// Keeps the signal for the next control update.
static void OnStopSignal(int sig) {
    stop_signal = sig;
}

void Platform_CatchStopSignals() {
    static const int stop[3] = {SIGINT, SIGTERM, SIGHUP};
    for (int sig : stop) {
        struct sigaction action;
        if (sigaction(sig, NULL, &action) != 0 || action.sa_handler == SIG_IGN)
            continue;
        memset(&action, 0, sizeof action);
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(sig, &action, NULL);
    }
}

int Platform_StopSignal() {
    return stop_signal;
}

// Refreshes joysticks and keys once a frame and empties the event queue, so
// that it never fills; returns 1 when the window was asked to close or a
// stop signal came.
uint8_t PollInput() {
    SDL_JoystickUpdate();
    SDL_PumpEvents();
    keystate = SDL_GetKeyState(&keycount);
    memset(key_latched, 0, sizeof key_latched);
    uint8_t quit = stop_signal ? 1 : 0;
    SDL_Event events[EVENT_BATCH];
    for (int round = 0; round < EVENT_ROUNDS; round++) {
        int n = SDL_PeepEvents(events, EVENT_BATCH, SDL_GETEVENT, SDL_ALLEVENTS);
        for (int i = 0; i < n; i++) {
            if (events[i].type == SDL_QUIT)
                quit = 1;
            else if (events[i].type == SDL_KEYDOWN || events[i].type == SDL_KEYUP)
                DesktopKey(events[i]);
        }
        if (n < EVENT_BATCH)
            break;
    }
    return quit;
}

// Axis 0 (horizontal) or 1 (vertical) of a joystick; 0 for an absent one.
int16_t JoyAxis(int joystick, int axis) {
    SDL_Joystick *handle = JoyHandle(joystick);
    if (!handle || axis < 0 || axis > 1)
        return 0;
    return SDL_JoystickGetAxis(handle, axis);
}

// State of one button of a joystick, 0 or 1; 0 for an absent one.
uint8_t JoyButton(int joystick, int button) {
    SDL_Joystick *handle = JoyHandle(joystick);
    if (!handle || button < 0)
        return 0;
    return SDL_JoystickGetButton(handle, button) ? 1 : 0;
}

// Whether an SDL key is held in this frame's keyboard state or was pressed
// in its events.
uint8_t KeyHeld(int key) {
    if (key < 0 || KeyTaken(key))
        return 0;
    bool latched = key < LATCH_KEYS && key_latched[key];
    return latched || (keystate && key < keycount && keystate[key]) ? 1 : 0;
}

// Milliseconds since SDL start-up.
uint32_t Platform_Tick() {
    return SDL_GetTicks();
}
