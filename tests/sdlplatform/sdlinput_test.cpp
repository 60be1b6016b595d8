// The game's own platform driver on SDL's dummy video driver: the event
// queue's close request, and idle pads when no control is attached.
#include <gtest/gtest.h>
#include <string.h>

#include "game/globalvar.h"
#include "platform/internal.h"
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

} // namespace
