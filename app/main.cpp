// The intro's entry point: open the window, prepare the show, run the loop,
// close the window. Takes no arguments and reads no file or environment.
// The one file outside platform/ that knows which system it is built for.

#include "app/loop.h"
#include "app/startup.h"
#include "app/window.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>
#elif defined(__EMSCRIPTEN__)
#include "platform/web/page.h"
#endif

#if defined(__EMSCRIPTEN__)
// The browser page: no process per show. Each start gesture puts every
// module back as a new process has it and plays the show, and the browser
// runs the main loop a pass per animation frame until it ends; the page
// then offers the start again.
static bool startPageShow()
{
    resetShow();
    if (!openWindow(":: We rule ::", 800, 600, 32, fullscreen)) {
        return false;
    }
    startShow();
    beginMainLoop();
    return true;
}

static bool runPageFrame()
{
    int exitCode = 0;
    if (runLoopPass(&exitCode)) {
        return true;
    }
    closeWindow();
    return false;
}

int main()
{
    platWebRunPage(startPageShow, runPageFrame);
    return 0;
}
#else
// Windows: WinMain in the GUI subsystem, its arguments ignored; elsewhere
// main. Either way the exit code is 1 when the window does not open, else
// the main loop's.
#if defined(_WIN32)
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
#else
int main()
#endif
{
    if (!openWindow(":: We rule ::", 800, 600, 32, fullscreen)) {
        return 1;
    }
    startShow();
    int exitCode = runMainLoop();
    closeWindow();
    return exitCode;
}
#endif
