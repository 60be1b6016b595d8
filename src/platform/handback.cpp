// The SDL driver's frame end and exit on the desktop and the handheld:
// nothing after a frame, and at exit the hand-back to the console's menu
// program, on the handheld only.
#include <unistd.h>

#include "platform/input.h"
#include "platform/ramhack.h"

// The display needs nothing after a frame.
void FramePresented() {}

// On the handheld, replaces the process with the console's menu program.
// Anywhere else, or when that fails, it returns.
void HandBack() {
    if (!Platform_IsHandheld())
        return;
    int moved = chdir(HANDHELD_MENU_DIR);
    (void)moved; // the menu program is started by its full path either way
    execl(HANDHELD_MENU, HANDHELD_MENU, (char *)NULL);
}
