// The intro's entry point: open the window, prepare the show, run the loop,
// close the window. Takes no arguments and reads no file or environment.
// The one file outside platform/ that knows which system it is built for.

#include "app/loop.h"
#include "app/shared.h"
#include "app/startup.h"
#include "app/window.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>
#endif

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
