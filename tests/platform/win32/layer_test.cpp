// The Win32 layer under the shell's own window code, run under Wine: what
// the scripted fake cannot see. Messages sent to the real window reach
// windowProc translated, a client area of another size gets the screen
// scaled into it, DefWindowProcA gets the raw message, the extension
// and font calls answer, the timer ticks and closeWindow releases it all.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "app/extensions.h"
#include "app/window.h"
#include "platform/present.h"

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

static GLint framebufferBinding()
{
    GLint bound = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
    return bound;
}

// The client area made 640x360 (16:9) under the 320x240 screen: WM_SIZE
// lays the show's view out for its own screen, which is drawn into a
// framebuffer that the swap scales to 480x360, centred, black beside it;
// WM_SIZE of the screen's own size draws straight into the window again.
static void checkScaledScreen(HWND window)
{
    RECT frame = {0, 0, 640, 360};
    AdjustWindowRectEx(&frame, GetWindowLongA(window, GWL_STYLE), FALSE,
                       GetWindowLongA(window, GWL_EXSTYLE));
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    RECT client = {};
    GetClientRect(window, &client);
    CHECK(client.right == 640 && client.bottom == 360);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    CHECK(viewport[0] == 0 && viewport[1] == 40 && viewport[2] == 320 && viewport[3] == 160);
    int width = 0;
    int height = 0;
    platDrawableSize(&width, &height);
    CHECK(width == 320 && height == 240);
    CHECK(framebufferBinding() > 0);

    // A white screen, scaled into the back buffer as the swap does (after
    // a first swap, at which Wine gives the GL drawable the client's size).
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    platSwapBuffers();
    glClear(GL_COLOR_BUFFER_BIT);
    presentFrame();
    auto bind = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(platGetProcAddress("glBindFramebuffer"));
    CHECK(bind != nullptr);
    if (bind != nullptr) {
        bind(GL_READ_FRAMEBUFFER, 0);
    }
    glReadBuffer(GL_BACK);
    static unsigned char row[640 * 3];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 180, 640, 1, GL_RGB, GL_UNSIGNED_BYTE, row);
    int firstWhite = -1;
    int lastWhite = -1;
    for (int x = 0; x < 640; ++x) {
        if (row[3 * x] == 255 && row[3 * x + 1] == 255 && row[3 * x + 2] == 255) {
            firstWhite = firstWhite < 0 ? x : firstWhite;
            lastWhite = x;
        }
    }
    printf("scaled screen: white from column %d to %d of 640\n", firstWhite, lastWhite);
    CHECK(firstWhite == 80 && lastWhite == 559);
    CHECK(row[0] == 0 && row[3 * 639] == 0);
    platSwapBuffers();
    CHECK(glGetError() == GL_NO_ERROR);

    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(320, 240));
    CHECK(framebufferBinding() == 0);
    glGetIntegerv(GL_VIEWPORT, viewport);
    CHECK(viewport[0] == 0 && viewport[1] == 40 && viewport[2] == 320 && viewport[3] == 160);
}

int main()
{
    const char* title = ":: layer test ::";
    CHECK(openWindow(title, 320, 240, 32, 0));
    HWND window = FindWindowA("OpenGL", title);
    CHECK(window != nullptr);

    checkScaledScreen(window);
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
