// The Win32 layer under the shell's own window code, run under Wine: what
// the scripted fake cannot see. Messages sent to the real window reach
// windowProc translated, DefWindowProcA gets the raw message, the extension
// and font calls answer, the timer ticks and closeWindow releases it all.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <GL/gl.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "app/extensions.h"
#include "app/window.h"

static int failures;
static std::atomic<int> ticks{0};  // counted by the timer thread

static void check(bool ok, const char* what, int line)
{
    printf("%s: %s (line %d)\n", ok ? "ok" : "FAILED", what, line);
    failures += ok ? 0 : 1;
}
#define CHECK(condition) check((condition), #condition, __LINE__)

// Timer thread.
static void tick()
{
    ticks.fetch_add(1, std::memory_order_relaxed);
}

int main()
{
    const char* title = ":: layer test ::";
    CHECK(openWindow(title, 320, 240, 32, 0));
    HWND window = FindWindowA("OpenGL", title);
    CHECK(window != nullptr);

    // WM_SIZE's two words: the letterbox of a 640x480 client area.
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(640, 480));
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    CHECK(viewport[0] == 0 && viewport[1] == 80 && viewport[2] == 640 && viewport[3] == 320);
    // WM_ACTIVATE: the high word is the minimised flag, the low word unread.
    SendMessageA(window, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 1), 0);
    CHECK(windowActive == 0);
    SendMessageA(window, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), 0);
    CHECK(windowActive == 1);
    SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    CHECK(keyDown[VK_ESCAPE] == 1);
    SendMessageA(window, WM_KEYUP, VK_ESCAPE, 0);
    CHECK(keyDown[VK_ESCAPE] == 0);
    // Messages windowProc leaves alone reach DefWindowProcA whole.
    char text[64] = {};
    CHECK(SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)) == 16);
    CHECK(strcmp(text, title) == 0);
    CHECK(SendMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0) == 0);
    // A close command: default handling, WM_CLOSE, a quit message with 0.
    SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    PlatMessage message = {PLAT_MSG_NONE, 1, 0};
    for (int i = 0; i < 1000 && message.type != PLAT_MSG_QUIT; ++i) {
        if (platPeekMessage(&message) && message.type != PLAT_MSG_QUIT) {
            platDispatchMessage(&message);
        }
    }
    CHECK(message.type == PLAT_MSG_QUIT && message.wParam == 0);
    CHECK(IsWindow(window));  // closing asks; closeWindow destroys

    CHECK(platHasExtension("GL_ARB_multitexture"));
    CHECK(!platHasExtension("GL_ARB_multi"));
    CHECK(resolveExtension(EXT_MULTI_TEX_COORD_3FV_ARB));

    static PlatGlyphMetrics metrics[255];
    const unsigned base = glGenLists(256);
    CHECK(platBuildOutlineFont(nullptr, 0, 0, 255, base, metrics));
    printf("advances (em): W %.4f r %.4f space %.4f\n", metrics['W'].cellIncX,
           metrics['r'].cellIncX, metrics[' '].cellIncX);
    CHECK(glIsList(base + 'W'));
    // Bold Arial's 'r' is 0.389 em wide; the regular face's 0.333.
    CHECK(metrics['r'].cellIncX > 0.38f && metrics['r'].cellIncX < 0.40f);
    CHECK(metrics['W'].cellIncX > 0.93f && metrics['W'].cellIncX < 0.96f);

    const DWORD start = GetTickCount();
    CHECK(platStartPeriodicTimer(20, tick));
    while (ticks.load(std::memory_order_relaxed) < 50 && GetTickCount() - start < 20000) {
        Sleep(10);
    }
    const int counted = ticks.load(std::memory_order_relaxed);
    printf("timer: %d ticks in %lu ms\n", counted, GetTickCount() - start);
    CHECK(counted >= 50);

    closeWindow();
    WNDCLASSA unused;
    CHECK(!IsWindow(window));
    CHECK(!GetClassInfoA(GetModuleHandleA(nullptr), "OpenGL", &unused));
    printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
