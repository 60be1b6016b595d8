// The game's own platform driver on SDL's dummy video driver: the event
// queue's close request, idle pads when no control is attached, and the
// full-screen keys, which the game never sees.
#include <gtest/gtest.h>
#include <string.h>

#include "console/render.h"
#include "platform/input.h"
#include "platform/internal.h"
#include "platform/keyboard.h"
#include "platform/platform.h"

namespace {

TEST(Keyboard, WindowCloseFromTheSdlQueue) {
    Platform_Init(); // real SDL input, dummy video
    // A close request behind a long run of other events is still seen, and
    // the queue is emptied.
    SDL_Event event;
    memset(&event, 0, sizeof event);
    event.type = SDL_USEREVENT;
    for (int i = 0; i < 40; i++)
        ASSERT_EQ(SDL_PushEvent(&event), 0);
    event.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&event), 0);
    Platform_ControlPadUpdate();
    EXPECT_EQ(GameLoopEnabled, 0);
    EXPECT_EQ(SDL_PeepEvents(&event, 1, SDL_PEEKEVENT, SDL_ALLEVENTS), 0);
    // Without a close request the loop goes on.
    GameLoopEnabled = 1;
    event.type = SDL_USEREVENT;
    SDL_PushEvent(&event);
    Platform_ControlPadUpdate();
    EXPECT_EQ(GameLoopEnabled, 1);
}

// SDL (dummy video, no joystick, no key held) leaves the pads idle.
TEST(SdlInput, PadsIdleWithNoControls) {
    Platform_Init();
    Platform_ControlPadUpdate();
    if (gp2xjoy)
        GTEST_SKIP() << "a real joystick is attached";
    for (int k = 0; k < 10; k++)
        EXPECT_EQ(controlpad[0].button[k], 0) << k;
    EXPECT_EQ(controlpad[0].dir, 255);
    EXPECT_EQ(GameLoopEnabled, 1);
}

// Pushes a key event of sym with the modifiers mod, then updates the pads
// (unless told not to).
void Key(uint8_t type, SDLKey sym, SDLMod mod, bool update = true) {
    SDL_Event event;
    memset(&event, 0, sizeof event);
    event.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = sym;
    event.key.keysym.mod = mod;
    ASSERT_EQ(SDL_PushEvent(&event), 0);
    if (update)
        Platform_ControlPadUpdate();
}

// F11 and Alt+Enter switch full screen on the same 320 x 240 8-bit surface
// with the same palette; the Enter of the switch stays hidden from the game
// until let go, and Enter alone is the game's again.
TEST(DesktopKeys, FullScreenSwitchesUnseenByTheGame) {
    Platform_Init();
    for (int i = 0; i < 256; i++) {
        palette[3 * i] = (uint8_t)i;
        palette[3 * i + 1] = (uint8_t)(255 - i);
    }
    Platform_UpdatePalette();
    const uint32_t windowed = screen->flags & SDL_FULLSCREEN;
    Key(SDL_KEYDOWN, SDLK_F11, KMOD_NONE);
    EXPECT_NE(screen->flags & SDL_FULLSCREEN, windowed);
    EXPECT_EQ(KeyTaken(SDLK_F11), 1);
    Key(SDL_KEYUP, SDLK_F11, KMOD_NONE);
    EXPECT_EQ(KeyTaken(SDLK_F11), 0);
    Key(SDL_KEYDOWN, SDLK_RETURN, KMOD_LALT);
    EXPECT_EQ(screen->flags & SDL_FULLSCREEN, windowed);
    EXPECT_EQ(KeyTaken(SDLK_RETURN), 1);
    Key(SDL_KEYDOWN, SDLK_KP_ENTER, KMOD_RALT);
    EXPECT_NE(screen->flags & SDL_FULLSCREEN, windowed);
    EXPECT_EQ(KeyTaken(SDLK_KP_ENTER), 1);
    // Alt let go first: Enter stays hidden until it is let go too.
    Key(SDL_KEYUP, SDLK_LALT, KMOD_NONE);
    EXPECT_EQ(KeyTaken(SDLK_RETURN), 1);
    Key(SDL_KEYUP, SDLK_RETURN, KMOD_NONE);
    EXPECT_EQ(KeyTaken(SDLK_RETURN), 0);
    Key(SDL_KEYDOWN, SDLK_KP_ENTER, KMOD_NONE);
    EXPECT_EQ(KeyTaken(SDLK_KP_ENTER), 0);
    EXPECT_NE(screen->flags & SDL_FULLSCREEN, windowed);
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->w, 320);
    EXPECT_EQ(screen->h, 240);
    EXPECT_EQ(screen->format->BitsPerPixel, 8);
    ASSERT_NE(screen->format->palette, nullptr);
    EXPECT_EQ(screen->format->palette->colors[200].r, 200);
    EXPECT_EQ(screen->format->palette->colors[200].g, 55);
    // Enter alone is no desktop key.
    Key(SDL_KEYDOWN, SDLK_RETURN, KMOD_NONE);
    EXPECT_EQ(KeyTaken(SDLK_RETURN), 0);
}

// Keys pressed and let go between two frames count as held for the next
// frame, and only that one; the Enter of a full-screen switch stays hidden.
TEST(Keyboard, AKeyTappedBetweenTwoFramesIsHeldForOne) {
    Platform_Init();
    struct Tap {
        SDLKey sym;
        SDLMod mod;
        uint8_t dir, button_a; // the pad in the frame of the tap
    } taps[] = {{SDLK_RIGHT, KMOD_NONE, 2, 0},
                {SDLK_SPACE, KMOD_NONE, 255, 1},
                {SDLK_RETURN, KMOD_LALT, 255, 0}};
    for (const Tap &t : taps) {
        Key(SDL_KEYDOWN, t.sym, t.mod, false);
        Key(SDL_KEYUP, t.sym, t.mod);
        EXPECT_EQ(controlpad[0].dir, t.dir) << t.sym;
        EXPECT_EQ(BuiltinButton(BTN_A), t.button_a) << t.sym;
        Platform_ControlPadUpdate();
        EXPECT_EQ(controlpad[0].dir, 255) << t.sym;
        EXPECT_EQ(BuiltinButton(BTN_A), 0) << t.sym;
    }
}

} // namespace
