// The SDL driver's frame end and exit in the page: after each frame the
// game waits for the browser's next display refresh (ASYNCIFY keeps its
// stack meanwhile), as the desktop game waits for the vertical blank, so
// the page stays live and frames come at the display's pace. A gamepad the
// browser shows late is opened then. Nothing is handed back at exit.
#include <emscripten.h>

#include "platform/input.h"
#include "platform/internal.h"
#include "platform/platform.h"

// Resolves on the browser's next animation frame; in a hidden tab, where
// those stop, after a 100 ms timer instead so that an on-line game goes on.
// Module.frameWorkMs and Module.framesWorked add up the time the game spent
// on its frames between the waits, for the page's figures.
EM_ASYNC_JS(void, AwaitDisplay, (), {
    var now = performance.now();
    if (Module.frameResumed) {
        Module.frameWorkMs = (Module.frameWorkMs || 0) + now - Module.frameResumed;
        Module.framesWorked = (Module.framesWorked || 0) + 1;
    }
    await new Promise(function(done) {
        var timer = setTimeout(done, 100);
        requestAnimationFrame(function() {
            clearTimeout(timer);
            done();
        });
    });
    Module.frameResumed = performance.now();
});

// A browser shows a gamepad only once a button of it is pressed, long after
// start-up: the first one is then opened as the first extra pad, read as a
// USB pad is on the desktop (its first stick and buttons 0-9).
static void OpenLatePad() {
    if (gp2xjoy || joy0 || JoystickCount() == 0)
        return;
    joy0 = OpenJoystick(0, controlpad[0].name);
    if (joy0)
        Platform_Gamepads = 1;
}

void FramePresented() {
    OpenLatePad();
    AwaitDisplay();
}

void HandBack() {}
