// Client configuration and the sound entry point.
#include <stdio.h>

#include "game/globalvar.h"
#include "platform/platform.h"
#include "resources/initall.h"
#include "resources/tokens.h"

// Reads client/client.cfg: width, height and full-screen flag. The screen is
// fixed at 320 x 240 whatever the file says; without a file the flag is 0.
void LoadConfig() {
    int w = 320, h = 240, full = 0;
    FILE *f = OpenResource("client/client.cfg");
    if (f) {
        // A short file leaves the numbers it lacks at their defaults.
        int got = fscanf(f, "%d %d %d", &w, &h, &full);
        (void)got;
        fclose(f);
    }
    Screen_Width = (uint16_t)w;
    Screen_Height = (uint16_t)h;
    FullScreen = (uint16_t)full;
    Screen_Width = 320;
    Screen_Height = 240;
}

// Nothing is saved.
void SaveConfig() {}

// Hands the volume setting to the platform.
void initsounds() {
    Platform_SoundVolume(volume);
}
