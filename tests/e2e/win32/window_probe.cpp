// The Windows side of the end-to-end tests, run under the intro's Wine
// server: minimises the intro's window as the taskbar does, then restores it.
//   window-probe-win32 minimise TITLE SECONDS
// Posts WM_SYSCOMMAND SC_MINIMIZE to the window of class "OpenGL" named
// TITLE and waits until it is minimised; then a window of its own takes
// the activation, as the shell's does on Windows (without a window manager
// Wine leaves a lone minimised window active); prints "minimised", waits
// SECONDS, posts SC_RESTORE, waits until the window is no longer minimised
// and prints "restored". Exit 0 when the window got there within 10 s each
// time; 1 when it did not or there is no such window; 2 for a wrong
// command line.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

enum { PROBE_WAIT_MS = 10000, PROBE_POLL_MS = 10 };

// Handles this process's own messages for waitMs, or until the window is
// (or is no longer) minimised when untilIconic is 0 or 1; false when it
// timed out with untilIconic set.
static bool pump(HWND window, int untilIconic, DWORD waitMs)
{
    const DWORD start = GetTickCount();
    while (untilIconic < 0 || (IsIconic(window) != FALSE) != (untilIconic == 1)) {
        if (GetTickCount() - start > waitMs || !IsWindow(window)) {
            return untilIconic < 0;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        Sleep(PROBE_POLL_MS);
    }
    return true;
}

int main(int argc, char** argv)
{
    if (argc != 4 || strcmp(argv[1], "minimise") != 0) {
        fprintf(stderr, "usage: window-probe-win32 minimise TITLE SECONDS\n");
        return 2;
    }
    HWND window = FindWindowA("OpenGL", argv[2]);
    if (window == nullptr) {
        fprintf(stderr, "no window of class OpenGL named %s\n", argv[2]);
        return 1;
    }
    PostMessageA(window, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    if (!pump(window, 1, PROBE_WAIT_MS)) {
        fprintf(stderr, "the window was not minimised\n");
        return 1;
    }
    // Off the screen, so that it hides nothing of the intro's window.
    HWND shell =
        CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "shell", WS_POPUP | WS_VISIBLE, -100, -100, 10,
                        10, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (shell == nullptr || !SetForegroundWindow(shell)) {
        fprintf(stderr, "could not take the activation\n");
        return 1;
    }
    printf("minimised\n");
    fflush(stdout);
    pump(window, -1, static_cast<DWORD>(atoi(argv[3]) * 1000));
    PostMessageA(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    if (!pump(window, 0, PROBE_WAIT_MS)) {
        fprintf(stderr, "the window was not restored\n");
        return 1;
    }
    printf("restored\n");
    fflush(stdout);
    DestroyWindow(shell);
    return 0;
}
