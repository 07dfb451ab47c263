#include "app/loop.h"

#include "app/shared.h"
#include "app/window.h"
#include "platform/platform.h"
#include "scene/frame.h"

int runMainLoop()
{
    PlatMessage message;
    for (;;) {
        if (quitRequested.load(std::memory_order_relaxed)) {
            break;
        }
        if (platPeekMessage(&message)) {
            if (message.type == PLAT_MSG_QUIT) {
                quitRequested.store(1, std::memory_order_relaxed);
                return static_cast<int>(message.wParam);
            }
            platDispatchMessage(&message);
            continue;
        }
        if (!windowActive) {
            continue;
        }
        if (keyDown[PLAT_VK_ESCAPE]) {
            quitRequested.store(1, std::memory_order_relaxed);
            break;
        }
        drawFrame();
        platSwapBuffers();
    }
    // Esc and the end cue are normal ends too.
    return 0;
}
