// The page's calls into the show, exported to shell.html: start on the
// viewer's gesture, one pass of the main loop per animation frame, DOM
// events as window messages, and the figures the page keeps of the frames.
#include "platform/web/page.h"

#include <emscripten.h>

#include "platform/platform.h"

// ------------------------------------------------------------------ state
static bool (*pageStart)();
static bool (*pageFrame)();
static bool showRunning;

// clang-format off
EM_JS(void, jsFrameDrawn, (), {
    Module.weruleStats.frames++;
});
// clang-format on

void platWebRunPage(bool (*start)(), bool (*frame)())
{
    pageStart = start;
    pageFrame = frame;
}

void webFrameDrawn()
{
    jsFrameDrawn();
}

extern "C" {

// The viewer's gesture: fullscreen 1 when the page got it; answer the
// viewer's reply to the windowed question (PLAT_ANSWER_*). 1 when the show
// runs.
EMSCRIPTEN_KEEPALIVE int webStart(int fullscreen, int answer)
{
    if (showRunning || pageStart == nullptr) {
        return showRunning ? 1 : 0;
    }
    webSetStartOffer(fullscreen != 0, answer);
    showRunning = pageStart();
    if (!showRunning) {
        webStopTimer();
        webStopSound();
    }
    return showRunning ? 1 : 0;
}

// One animation frame: 1 while the show runs, 0 once it has ended.
EMSCRIPTEN_KEEPALIVE int webFrame()
{
    if (!showRunning) {
        return 0;
    }
    webSoundTopUp();
    webRunDueTicks();
    if (!pageFrame()) {
        showRunning = false;
        webStopTimer();
        webStopSound();
    }
    return showRunning ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void webEvent(int type, unsigned wParam, unsigned lParam)
{
    if (showRunning) {
        webPostMessage(type, wParam, lParam);
    }
}

}  // extern "C"
