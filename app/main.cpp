// The intro's entry point: open the window, prepare the show, run the loop,
// close the window. Takes no arguments and reads no file or environment.

#include "app/loop.h"
#include "app/shared.h"
#include "app/startup.h"
#include "app/window.h"

int main()
{
    if (!openWindow(":: We rule ::", 800, 600, 32, fullscreen)) {
        return 1;
    }
    startShow();
    int exitCode = runMainLoop();
    closeWindow();
    return exitCode;
}
