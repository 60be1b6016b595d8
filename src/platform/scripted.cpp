// The scripted platform driver: clock and controls from the globals of
// scripted.h, a hook after each presented frame, quit on request or on a
// caught stop signal, and no hand-back at exit.
#include "platform/scripted.h"

#include <stdio.h>
#include <string.h>

#include "platform/input.h"
#include "platform/pads.h"
#include "platform/platform.h"

uint32_t seam_tick;
int seam_numjoysticks;
uint8_t seam_button[SEAM_JOYSTICKS][32];
int16_t seam_axis[SEAM_JOYSTICKS][2];
static_assert(SDLK_LAST <= SEAM_KEYS, "every SDL key has its entry");
uint8_t seam_key[SEAM_KEYS];
uint8_t seam_quit;
void (*seam_present_hook)();
volatile sig_atomic_t seam_signal;
uint8_t seam_realclock;

// Stand-ins for the handles of scripted joysticks: never handed to SDL, they
// only mark a joystick as present.
static uint8_t scripted_joystick[SEAM_JOYSTICKS];

// Number of joysticks present, never negative.
int JoystickCount() {
    return seam_numjoysticks > 0 ? seam_numjoysticks : 0;
}

// Opens scripted joystick index; its name tells its number.
SDL_Joystick *OpenJoystick(int index, char *name) {
    char text[32];
    snprintf(text, sizeof text, "scripted pad %d", index);
    CopyPadName(name, text);
    if (index < 0 || index >= SEAM_JOYSTICKS)
        return NULL;
    return reinterpret_cast<SDL_Joystick *>(&scripted_joystick[index]);
}

// Nothing to refresh: 1 when a close was requested or a stop signal caught.
uint8_t PollInput() {
    return seam_quit || seam_signal ? 1 : 0;
}

// Whether joystick 0..4 can be read: opened, or one of the scripted
// joysticks, even when Platform_Init has not opened it.
static bool JoyPresent(int joystick) {
    if (JoyHandle(joystick))
        return true;
    return joystick >= 0 && joystick < SEAM_JOYSTICKS && joystick < seam_numjoysticks;
}

// Axis 0 (horizontal) or 1 (vertical) of a joystick; 0 for an absent one.
int16_t JoyAxis(int joystick, int axis) {
    if (!JoyPresent(joystick) || axis < 0 || axis > 1)
        return 0;
    return seam_axis[joystick][axis];
}

// State of one button of a joystick, 0 or 1; 0 for an absent one.
uint8_t JoyButton(int joystick, int button) {
    if (!JoyPresent(joystick) || button < 0)
        return 0;
    return button < 32 && seam_button[joystick][button] ? 1 : 0;
}

// Whether a key is held in the scripted keyboard state.
uint8_t KeyHeld(int key) {
    return key >= 0 && key < SEAM_KEYS && seam_key[key] ? 1 : 0;
}

// The scripted clock, or the real one for a run that plays against a
// server in real time.
uint32_t Platform_Tick() {
    return seam_realclock ? SDL_GetTicks() : seam_tick;
}

// Lets the program look at the frame and set up the next one.
void FramePresented() {
    if (seam_present_hook)
        seam_present_hook();
}

// A scripted run never starts another program.
void HandBack() {}

// Keeps the signal for the next control update.
static void OnStopSignal(int sig) {
    seam_signal = sig;
}

void SeamCatchStopSignals() {
    const int stop[3] = {SIGINT, SIGTERM, SIGHUP};
    for (int i = 0; i < 3; i++) {
        struct sigaction action;
        // A signal the caller chose to ignore (a background job's SIGINT)
        // stays ignored.
        if (sigaction(stop[i], NULL, &action) != 0 || action.sa_handler == SIG_IGN)
            continue;
        memset(&action, 0, sizeof action);
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(stop[i], &action, NULL);
    }
}
