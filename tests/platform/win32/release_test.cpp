// closeWindow over the Win32 layer, run under Wine, with each release step
// made to fail for real: the context no longer current, the context
// already deleted, the window already destroyed, its destruction refused,
// the class still in use. Every box is the real MessageBoxA dialog: a CBT
// hook on this thread reads it when it is activated (caption, text, icon,
// buttons, owner) and clicks its OK, so closeWindow goes on. Each case then
// checks that the steps after the failure still happened. The cursor: shown
// throughout in a window; in fullscreen hidden while open and shown again
// after closeWindow, failures or not.
//
// The display-mode restore (ChangeDisplaySettingsA(NULL, 0)) is not among
// the failures: closeWindow does not look at its result and has no message
// for it, and Wine on Xvfb offers no way to make it fail short of editing
// Wine's own registry record of the display's mode; what is checked of it
// is that the cursor and the later steps follow it.
//
// ReleaseDC cannot fail alone under Wine: the window's own DC (CS_OWNDC)
// is released successfully as often as it is asked, from any thread, even
// after DeleteDC, and it goes only with the window; so its failure is
// caused by destroying the window first, and "Could Not Release hWnd."
// follows it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/window.h"

enum { TEST_MAX_BOXES = 8, TEST_TEXT = 128 };

// A message box as the hook found it.
struct SeenBox {
    char caption[TEST_TEXT];
    char text[TEST_TEXT];
    bool informationIcon;  // the icon shown is the system's information icon
    int buttons;
    bool okButton;  // one of them is OK
    bool ownerless;
};

// Main thread only: the hook runs inside MessageBoxA's own message loop.
static SeenBox boxes[TEST_MAX_BOXES];
static int boxCount;
static HWND lastBox;
static HWND refuseDestroying;  // DestroyWindow of this window is refused
static HHOOK cbtHook;
static int failures;

static void check(bool ok, const char* what, int line)
{
    printf("%s: %s (line %d)\n", ok ? "ok" : "FAILED", what, line);
    failures += ok ? 0 : 1;
}
#define CHECK(condition) check((condition), #condition, __LINE__)

static BOOL CALLBACK readBoxPart(HWND part, LPARAM parameter)
{
    SeenBox* box = reinterpret_cast<SeenBox*>(parameter);
    char className[32] = {};
    GetClassNameA(part, className, sizeof className);
    const LONG style = GetWindowLongA(part, GWL_STYLE);
    if (strcmp(className, "Button") == 0) {
        box->buttons++;
        box->okButton = box->okButton || GetDlgCtrlID(part) == IDOK;
    } else if (strcmp(className, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON) {
        const HICON shown = reinterpret_cast<HICON>(SendMessageA(part, STM_GETICON, 0, 0));
        box->informationIcon = shown != nullptr && shown == LoadIconA(nullptr, IDI_INFORMATION);
    } else if (strcmp(className, "Static") == 0) {
        GetWindowTextA(part, box->text, sizeof box->text);
    }
    return TRUE;
}

static LRESULT CALLBACK cbtProc(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_DESTROYWND && window != nullptr && window == refuseDestroying) {
        return 1;  // DestroyWindow fails
    }
    char className[32] = {};
    if (code == HCBT_ACTIVATE && window != lastBox &&
        GetClassNameA(window, className, sizeof className) && strcmp(className, "#32770") == 0 &&
        boxCount < TEST_MAX_BOXES) {
        lastBox = window;
        SeenBox* box = &boxes[boxCount++];
        memset(box, 0, sizeof *box);
        GetWindowTextA(window, box->caption, sizeof box->caption);
        EnumChildWindows(window, readBoxPart, reinterpret_cast<LPARAM>(box));
        box->ownerless = GetWindow(window, GW_OWNER) == nullptr;
        // As the user's click: the box ends with IDOK once its loop runs.
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
    }
    return CallNextHookEx(cbtHook, code, wParam, lParam);
}

static const char* const TITLE = ":: release test ::";

// Opens the window as the intro does (fullscreen at the 800x600 screen's
// own mode, or a small window) with no box seen yet; sets the window and
// its context.
static bool openTestWindow(bool fullscreenRequest, HWND* window, HGLRC* context)
{
    boxCount = 0;
    lastBox = nullptr;
    const bool opened =
        fullscreenRequest ? openWindow(TITLE, 800, 600, 32, 1) : openWindow(TITLE, 320, 240, 32, 0);
    *window = FindWindowA("OpenGL", TITLE);
    *context = wglGetCurrentContext();
    return opened && *window != nullptr && *context != nullptr;
}

// The boxes closeWindow showed: exactly these texts in this order, each
// captioned "SHUTDOWN ERROR", OK only, the information icon, no owner.
static bool shownBoxes(const char* const* texts, int count)
{
    bool ok = boxCount == count;
    for (int i = 0; i < boxCount; ++i) {
        const SeenBox& box = boxes[i];
        printf("  box \"%s\": \"%s\", %d button(s)%s%s%s\n", box.caption, box.text, box.buttons,
               box.okButton ? ", OK" : "", box.informationIcon ? ", information icon" : "",
               box.ownerless ? ", no owner" : "");
        ok = ok && i < count && strcmp(box.text, texts[i]) == 0 &&
             strcmp(box.caption, "SHUTDOWN ERROR") == 0 && box.buttons == 1 && box.okButton &&
             box.informationIcon && box.ownerless;
    }
    return ok;
}

static bool classRegistered()
{
    WNDCLASSA unused;
    return GetClassInfoA(GetModuleHandleA(nullptr), "OpenGL", &unused) != FALSE;
}

static bool cursorShowing()
{
    CURSORINFO info;
    info.cbSize = sizeof info;
    return GetCursorInfo(&info) && (info.flags & CURSOR_SHOWING) != 0;
}

// A context closeWindow deleted cannot be deleted again (nor one that the
// test deleted); a live one is deleted here.
static bool contextDeleted(HGLRC context)
{
    return wglDeleteContext(context) == FALSE;
}

static const char* const RELEASE_CURRENT = "Release Of DC And RC Failed.";
static const char* const DELETE_CONTEXT = "Release Rendering Context Failed.";
static const char* const RELEASE_DC = "Release Device Context Failed.";
static const char* const DESTROY_WINDOW = "Could Not Release hWnd.";
static const char* const UNREGISTER_CLASS = "Could Not Unregister Class.";

int main()
{
    cbtHook = SetWindowsHookExA(WH_CBT, cbtProc, nullptr, GetCurrentThreadId());
    CHECK(cbtHook != nullptr);
    HWND window;
    HGLRC context;

    puts("nothing fails, in a window: no box, everything released");
    CHECK(openTestWindow(false, &window, &context));
    CHECK(cursorShowing());
    closeWindow();
    CHECK(shownBoxes(nullptr, 0));
    CHECK(wglGetCurrentContext() == nullptr && contextDeleted(context));
    CHECK(!IsWindow(window) && !classRegistered());
    CHECK(cursorShowing());

    puts("nothing fails, fullscreen: the cursor hidden while open, shown after");
    CHECK(openTestWindow(true, &window, &context));
    CHECK(!cursorShowing());
    closeWindow();
    CHECK(shownBoxes(nullptr, 0));
    CHECK(cursorShowing());
    CHECK(!IsWindow(window) && !classRegistered());

    puts("the context is no longer current");
    CHECK(openTestWindow(false, &window, &context));
    CHECK(wglMakeCurrent(nullptr, nullptr));
    closeWindow();
    const char* const notCurrent[] = {RELEASE_CURRENT};
    CHECK(shownBoxes(notCurrent, 1));
    CHECK(contextDeleted(context));
    CHECK(!IsWindow(window) && !classRegistered());

    puts("the context is already deleted, another one current");
    CHECK(openTestWindow(false, &window, &context));
    HDC deviceContext = wglGetCurrentDC();
    HGLRC other = wglCreateContext(deviceContext);
    CHECK(other != nullptr && wglDeleteContext(context));
    CHECK(wglMakeCurrent(deviceContext, other));
    closeWindow();
    const char* const deleted[] = {DELETE_CONTEXT};
    CHECK(shownBoxes(deleted, 1));
    CHECK(wglGetCurrentContext() == nullptr);  // the release before it ran
    CHECK(!IsWindow(window) && !classRegistered());
    wglDeleteContext(other);

    puts("the window is already destroyed, and its DC with it");
    CHECK(openTestWindow(false, &window, &context));
    CHECK(DestroyWindow(window));
    closeWindow();
    const char* const destroyed[] = {RELEASE_DC, DESTROY_WINDOW};
    CHECK(shownBoxes(destroyed, 2));
    CHECK(wglGetCurrentContext() == nullptr && contextDeleted(context));
    CHECK(!classRegistered());

    puts("DestroyWindow is refused (a CBT hook vetoes it): the class keeps its window");
    CHECK(openTestWindow(false, &window, &context));
    refuseDestroying = window;
    closeWindow();
    refuseDestroying = nullptr;
    const char* const refused[] = {DESTROY_WINDOW, UNREGISTER_CLASS};
    CHECK(shownBoxes(refused, 2));
    CHECK(wglGetCurrentContext() == nullptr && contextDeleted(context));
    CHECK(IsWindow(window) && classRegistered());
    DestroyWindow(window);
    UnregisterClassA("OpenGL", GetModuleHandleA(nullptr));

    puts("another window of the class is still open");
    CHECK(openTestWindow(false, &window, &context));
    HWND second = CreateWindowExA(0, "OpenGL", "second", WS_POPUP, 0, 0, 16, 16, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    CHECK(second != nullptr);
    closeWindow();
    const char* const inUse[] = {UNREGISTER_CLASS};
    CHECK(shownBoxes(inUse, 1));
    CHECK(!IsWindow(window) && contextDeleted(context));
    CHECK(IsWindow(second) && classRegistered());
    DestroyWindow(second);
    UnregisterClassA("OpenGL", GetModuleHandleA(nullptr));

    puts("fullscreen, everything already released: five boxes, the cursor shown again");
    CHECK(openTestWindow(true, &window, &context));
    CHECK(!cursorShowing());
    CHECK(wglDeleteContext(context) && DestroyWindow(window));
    CHECK(UnregisterClassA("OpenGL", GetModuleHandleA(nullptr)));
    closeWindow();
    const char* const everything[] = {RELEASE_CURRENT, DELETE_CONTEXT, RELEASE_DC, DESTROY_WINDOW,
                                      UNREGISTER_CLASS};
    CHECK(shownBoxes(everything, 5));
    CHECK(cursorShowing());
    CHECK(GetSystemMetrics(SM_CXSCREEN) == 800 && GetSystemMetrics(SM_CYSCREEN) == 600);

    // The shell forgets what it released, failed or not.
    CHECK(!videoStarted && !windowCreated && !drawableHeld && !contextCreated);
    UnhookWindowsHookEx(cbtHook);
    printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
