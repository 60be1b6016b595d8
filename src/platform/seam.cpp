// Raw control state: SDL joysticks, the keyboard and the window-close request,
// or the scripted state of the test seam when seam_active is set.
#include <stdio.h>

#include "platform/input.h"
#include "platform/platform.h"

uint8_t seam_active;
uint32_t seam_tick;
int seam_numjoysticks;
uint8_t seam_button[SEAM_JOYSTICKS][32];
int16_t seam_axis[SEAM_JOYSTICKS][2];
uint8_t seam_key[SDLK_LAST];
uint8_t seam_quit;
void (*seam_present_hook)();

#define EVENT_BATCH 16  // events taken off the queue per call
#define EVENT_ROUNDS 64 // at most this many batches a frame

// Stand-ins for the handles of scripted joysticks: never handed to SDL, they
// only mark a joystick as present.
static uint8_t scripted_joystick[SEAM_JOYSTICKS];

static const Uint8 *keystate; // SDL's keyboard state, refreshed by PollInput
static int keycount;          // entries in keystate

// Number of joysticks present, never negative.
int JoystickCount() {
    int n = seam_active ? seam_numjoysticks : SDL_NumJoysticks();
    return n > 0 ? n : 0;
}

// Copies a joystick name into a pad record's name field, cut to 255
// characters; a missing name gives the empty string.
void CopyPadName(char *dst, const char *src) {
    int i = 0;
    if (src)
        for (; i < PAD_NAME_SIZE - 1 && src[i]; i++)
            dst[i] = src[i];
    dst[i] = 0;
}

// Opens joystick index and writes its name into name.
SDL_Joystick *OpenJoystick(int index, char *name) {
    if (seam_active) {
        char text[32];
        snprintf(text, sizeof text, "scripted pad %d", index);
        CopyPadName(name, text);
        if (index < 0 || index >= SEAM_JOYSTICKS)
            return NULL;
        return reinterpret_cast<SDL_Joystick *>(&scripted_joystick[index]);
    }
    SDL_Joystick *joystick = SDL_JoystickOpen(index);
    CopyPadName(name, SDL_JoystickName(index));
    return joystick;
}

// Handle of joystick 0..4: the built-in controls, then the extra pads.
static SDL_Joystick *JoyHandle(int joystick) {
    switch (joystick) {
    case 0:
        return gp2xjoy;
    case 1:
        return joy0;
    case 2:
        return joy1;
    case 3:
        return joy2;
    case 4:
        return joy3;
    }
    return NULL;
}

// Refreshes joysticks and keys once a frame and empties the event queue, so
// that it never fills; returns 1 when the window was asked to close.
uint8_t PollInput() {
    if (seam_active)
        return seam_quit ? 1 : 0;
    SDL_JoystickUpdate();
    SDL_PumpEvents();
    keystate = SDL_GetKeyState(&keycount);
    uint8_t quit = 0;
    SDL_Event events[EVENT_BATCH];
    for (int round = 0; round < EVENT_ROUNDS; round++) {
        int n = SDL_PeepEvents(events, EVENT_BATCH, SDL_GETEVENT, SDL_ALLEVENTS);
        for (int i = 0; i < n; i++)
            if (events[i].type == SDL_QUIT)
                quit = 1;
        if (n < EVENT_BATCH)
            break;
    }
    return quit;
}

// Whether joystick 0..4 can be read: opened, or in a scripted run one of the
// scripted joysticks, even when Platform_Init has not opened it.
static bool JoyPresent(int joystick) {
    if (JoyHandle(joystick))
        return true;
    return seam_active && joystick >= 0 && joystick < SEAM_JOYSTICKS &&
           joystick < seam_numjoysticks;
}

// Axis 0 (horizontal) or 1 (vertical) of a joystick; 0 for an absent one.
int16_t JoyAxis(int joystick, int axis) {
    SDL_Joystick *handle = JoyHandle(joystick);
    if (!JoyPresent(joystick) || axis < 0 || axis > 1)
        return 0;
    if (seam_active)
        return seam_axis[joystick][axis];
    return SDL_JoystickGetAxis(handle, axis);
}

// State of one button of a joystick, 0 or 1; 0 for an absent one.
uint8_t JoyButton(int joystick, int button) {
    SDL_Joystick *handle = JoyHandle(joystick);
    if (!JoyPresent(joystick) || button < 0)
        return 0;
    if (seam_active)
        return button < 32 && seam_button[joystick][button] ? 1 : 0;
    return SDL_JoystickGetButton(handle, button) ? 1 : 0;
}

// Whether an SDL key is held in this frame's keyboard state.
uint8_t KeyHeld(int key) {
    if (key < 0)
        return 0;
    if (seam_active)
        return key < SDLK_LAST && seam_key[key] ? 1 : 0;
    return keystate && key < keycount && keystate[key] ? 1 : 0;
}
