// Platform start-up on the scripted driver, for the tests that link it (kept
// apart so that the tests of the SDL driver can share the other helpers).
#include "console/render.h"
#include "platform/platform.h"
#include "platform/scripted.h"
#include "support/testsupport.h"

void StartScriptedPlatform() {
    seam_numjoysticks = 1;
    Platform_Init();
    Screen_Width = 320;
    Screen_Height = 240;
}
