#include "app/loop.h"

#include "app/window.h"
#include "platform/platform.h"
#include "scene/frame.h"
#include "show/state.h"

// ------------------------------------------------------------------ state
// Main thread only.
// An Esc key-down taken from the queue and not yet acted on. It outlives
// the key-up, so a tap whose press and release both arrive while one frame
// draws still ends the show on the next empty, active pass.
static bool escapePressed;

// The message just taken is an Esc press.
static bool isEscapePress(const PlatMessage& message)
{
    return message.type == PLAT_MSG_KEYDOWN && message.wParam == PLAT_VK_ESCAPE;
}

void beginMainLoop()
{
    escapePressed = false;
}

bool runLoopPass(int* exitCode)
{
    PlatMessage message;
    for (;;) {
        if (quitRequested.load(std::memory_order_relaxed)) {
            break;
        }
        if (platPeekMessage(&message)) {
            if (message.type == PLAT_MSG_QUIT) {
                quitRequested.store(1, std::memory_order_relaxed);
                *exitCode = static_cast<int>(message.wParam);
                return false;
            }
            platDispatchMessage(&message);
            escapePressed = escapePressed || isEscapePress(message);
            continue;
        }
        if (!windowActive) {
            return true;
        }
        if (keyDown[PLAT_VK_ESCAPE] || escapePressed) {
            quitRequested.store(1, std::memory_order_relaxed);
            break;
        }
        drawFrame();
        platSwapBuffers();
        return true;
    }
    // Esc and the end cue are normal ends too.
    *exitCode = 0;
    return false;
}

int runMainLoop()
{
    beginMainLoop();
    int exitCode = 0;
    while (runLoopPass(&exitCode)) {
    }
    return exitCode;
}
