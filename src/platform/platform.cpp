// Platform start-up, display and palette hand-over, frame-rate counter, the
// silent sound entry points and shutdown.
#include "platform/platform.h"
#include "platform/internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include "console/render.h"
#include "platform/input.h"
#include "platform/ramhack.h"
#include "platform/window.h"
#include "resources/errorline.h"

// State declared in platform.h.
uint32_t count;
uint8_t GameLoopEnabled = 1;
uint8_t s_channel = 1;
uint8_t volume;
uint8_t SoundMode;

SDL_Surface *screen;
SDL_Joystick *gp2xjoy;
SDL_Joystick *joy0, *joy1, *joy2, *joy3;
uint16_t Platform_Gamepads;
uint16_t fps, fps_done;
uint32_t tickcount, tickcount2;

#define DISPLAY_W 320
#define DISPLAY_H 240
#define DISPLAY_BPP 8
#ifdef __EMSCRIPTEN__
// Emscripten's SDL gives one byte a pixel only to a surface with a palette.
#define DISPLAY_FLAGS (SDL_HWSURFACE | SDL_HWPALETTE)
#else
#define DISPLAY_FLAGS SDL_HWSURFACE
#endif
#define FPS_PERIOD 1000 // milliseconds a frame-rate period must exceed

bool Platform_CheckDisplay() {
#ifndef __EMSCRIPTEN__
    const char *chosen = getenv("SDL_VIDEODRIVER");
    if (chosen && *chosen)
        return true;
    FILE *noise;
    bool up = SdlInitQuiet(SDL_INIT_VIDEO, &noise);
    char driver[32];
    bool real = up && VideoDriverIsReal(SDL_VideoDriverName(driver, sizeof driver));
    if (noise)
        fclose(noise);
    SDL_Quit();
    if (!real) {
        ErrorLine("no display is reachable (DISPLAY and WAYLAND_DISPLAY are unset or unusable)");
        return false;
    }
#endif
    return true;
}

void Platform_Init() {
    RamHack();
    // A video driver named in SDL_VIDEODRIVER is used as it is (the tests and
    // the headless runner draw on dummy); otherwise SDL falls back to one
    // that shows nothing when no display is reachable, and the game would
    // run unseen. What SDL says while looking is kept until that is known.
    const char *chosen = getenv("SDL_VIDEODRIVER");
    bool driver_chosen = chosen && *chosen;
    // The game makes no sound, so a machine without audio still gets video
    // and joysticks.
    FILE *noise;
    if (!SdlInitQuiet(SDL_INIT_AUDIO | SDL_INIT_VIDEO | SDL_INIT_JOYSTICK, &noise)) {
        if (noise)
            fclose(noise);
        SdlInitQuiet(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK, &noise);
    }
    char driver[32];
    if (!driver_chosen && !VideoDriverIsReal(SDL_VideoDriverName(driver, sizeof driver))) {
        if (noise)
            fclose(noise);
        SDL_Quit();
        ErrorLine("no display is reachable (DISPLAY and WAYLAND_DISPLAY are unset or unusable)");
        exit(1);
    }
    ReplayNoise(noise);
    SDL_ShowCursor(0);
    SDL_WM_SetCaption(WINDOW_TITLE, WINDOW_TITLE);
#ifdef __EMSCRIPTEN__
    // Emscripten's SDL locks an 8-bit palette surface only without copying
    // the canvas back into it; every frame is written whole anyway.
    EM_ASM(SDL.defaults.copyOnLock = false);
#endif
    screen = SDL_SetVideoMode(DISPLAY_W, DISPLAY_H, DISPLAY_BPP, DISPLAY_FLAGS);
    if (!screen) {
        ErrorLine("cannot open the %dx%d display: %s", DISPLAY_W, DISPLAY_H, SDL_GetError());
        exit(1);
    }
    // SDL repaints the surface when the palette is handed over, before the
    // first frame is written into it: it starts cleared.
    if (SDL_LockSurface(screen) == 0) {
        memset(screen->pixels, 0, (size_t)screen->pitch * screen->h);
        SDL_UnlockSurface(screen);
    }
    int joysticks = JoystickCount();
    if (joysticks > 0)
        gp2xjoy = OpenJoystick(0, controlpad[0].name);
    if (joysticks > 1)
        joy0 = OpenJoystick(1, controlpad[0].name);
    if (joysticks > 2)
        joy1 = OpenJoystick(2, controlpad[1].name);
    if (joysticks > 3)
        joy2 = OpenJoystick(3, controlpad[2].name);
    if (joysticks > 4)
        joy3 = OpenJoystick(4, controlpad[3].name);
    // From here on the count is of extra pads only; joysticks 5 and up count
    // but are never opened.
    Platform_Gamepads = joysticks > 0 ? (uint16_t)(joysticks - 1) : 0;
}

void Platform_ToggleFullScreen() {
    if (!screen || SDL_WM_ToggleFullScreen(screen))
        return;
    // Drivers that cannot switch in place get the mode set again; the next
    // frame repaints it whole.
    Uint32 flags = (screen->flags & SDL_FULLSCREEN) ^ SDL_FULLSCREEN;
    SDL_Surface *again = SDL_SetVideoMode(DISPLAY_W, DISPLAY_H, DISPLAY_BPP, DISPLAY_FLAGS | flags);
    if (!again)
        again = SDL_SetVideoMode(DISPLAY_W, DISPLAY_H, DISPLAY_BPP,
                                 DISPLAY_FLAGS | (flags ^ SDL_FULLSCREEN));
    if (!again) {
        ErrorLine("cannot set the %dx%d display again: %s", DISPLAY_W, DISPLAY_H, SDL_GetError());
        exit(1);
    }
    screen = again;
    Platform_UpdatePalette();
}

void Platform_UpdatePalette() {
#ifdef __EMSCRIPTEN__
    // Emscripten's SDL keeps the colours of a palette surface out of sight:
    // they are handed over from here.
    static SDL_Color handed[256];
    SDL_Color *colors = screen ? handed : NULL;
#else
    SDL_Color *colors = screen && screen->format->palette ? screen->format->palette->colors : NULL;
#endif
    if (!colors)
        return;
    for (int i = 0; i < 256; i++) {
        colors[i].r = palette[3 * i];
        colors[i].g = palette[3 * i + 1];
        colors[i].b = palette[3 * i + 2];
    }
    // Under sdl12-compat the call reports 0 although the colours apply, so
    // its result is not looked at.
    SDL_SetColors(screen, colors, 0, 256);
}

// Rows 320 bytes apart take one block copy; any other pitch is copied row by
// row.
void Platform_UpdateScreen() {
    if (!screen)
        return;
    int width = Screen_Width < screen->w ? Screen_Width : screen->w;
    int height = Screen_Height < screen->h ? Screen_Height : screen->h;
    SDL_LockSurface(screen);
    uint8_t *pixels = (uint8_t *)screen->pixels;
    if (screen->pitch == DISPLAY_W) {
        // Screen_Width x Screen_Height bytes as one block, cut to the surface.
        size_t bytes = (size_t)Screen_Width * Screen_Height;
        size_t room = (size_t)screen->pitch * screen->h;
        if (bytes > room)
            bytes = room;
        if (bytes > sizeof scrbuf)
            bytes = sizeof scrbuf;
        memcpy(pixels, scrbuf, bytes);
    } else {
        for (int y = 0; y < height && (size_t)y * Screen_Width + width <= sizeof scrbuf; y++)
            memcpy(pixels + (size_t)y * screen->pitch, scrbuf + (size_t)y * Screen_Width,
                   (size_t)width);
    }
    SDL_UnlockSurface(screen);
    SDL_Flip(screen);
    FramePresented();
}

void Platform_FpsCounter() {
    fps_done++;
    uint32_t t = Platform_Tick();
    tickcount = t;
    if (t - tickcount2 > FPS_PERIOD) {
        tickcount2 = t;
        fps = fps_done;
        fps_done = 0;
    }
}

void Platform_Delay(unsigned int ms) {
    SDL_Delay(ms);
}

void Platform_SoundVolume(unsigned short) {}

void Platform_PlaySound(unsigned int, unsigned short, unsigned short) {
    s_channel++;
    if (s_channel == 3)
        s_channel = 1;
}

void Platform_ShutDown() {
    SDL_Quit();
    HandBack();
}
