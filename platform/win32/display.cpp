// The display, the window, its GL context, its messages and message boxes,
// over USER, GDI and WGL. Main thread only: the window procedure runs on it
// too, inside DispatchMessageA and inside the window calls that send
// messages (CreateWindowExA, ShowWindow, SetForegroundWindow, SetFocus,
// DestroyWindow).
#include "platform/win32/display.h"

#include <GL/gl.h>

#include <cstring>

#include "platform/present.h"
#include "platform/win32/messages.h"

// --- display state (main thread) -----------------------------------------
static HINSTANCE instanceHandle;             // this program's module, from GetModuleHandleA
static HWND windowHandle;                    // the one window; null until created
static HDC deviceContext;                    // its device context; null until obtained
static HGLRC renderContext;                  // the GL context; null until created
static PlatWindowProcedure windowProcedure;  // what every window message goes to
static MSG lastMessage;                      // the message platPeekMessage took last, for dispatch
static bool contextCurrent;                  // renderContext is current on this thread

// The message the window procedure is handling, for DefWindowProcA; the
// procedure may be entered again while it runs, so each entry keeps the
// one it interrupts.
struct RawMessage {
    HWND window;  // null outside the window procedure
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool handedOn;          // the procedure passed it to DefWindowProcA
    LRESULT defaultResult;  // what DefWindowProcA answered, all 64 bits
};
static RawMessage handledMessage;

static const char* const CLASS_NAME = "OpenGL";
// The display-mode record's size as the mode request gives it: DEVMODEA up
// to dmDisplayFrequency's block, without the later panning fields.
static const WORD DISPLAY_MODE_RECORD_SIZE = 148;

// The pixel format asked for, filled by platCreateWindow: 40 bytes,
// version 1, flags 0x25 (window, OpenGL, double buffer), RGBA, the colour
// and depth bits of the window, the main plane, every other field 0.
static PIXELFORMATDESCRIPTOR pixelFormatRequest;
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);

// The client area's new size handed to the presentation; the size the show
// lays its view out for, as WM_SIZE packs it (see present.h).
static uint32_t showSize(int clientWidth, int clientHeight)
{
    presentSetDrawable(clientWidth, clientHeight);
    int width = 0;
    int height = 0;
    presentViewSize(&width, &height);
    return (static_cast<uint32_t>(height & 0xFFFF) << 16) | static_cast<uint32_t>(width & 0xFFFF);
}

// Main thread: runs for every message of the window, whoever sends it.
static LRESULT CALLBACK windowMessageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (windowProcedure == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    const RawMessage interrupted = handledMessage;
    handledMessage = {window, message, wParam, lParam, false, 0};
    PlatMessage translated = translateWindowMessage(message, wParam, lParam);
    if (translated.type == PLAT_MSG_SIZE && contextCurrent) {
        translated.lParam = showSize(LOWORD(lParam), HIWORD(lParam));
    }
    LRESULT result = windowProcedure(&translated);
    // The procedure's long is 32 bits here; a default result (a handle, a
    // pointer) goes back whole.
    if (handledMessage.handedOn) {
        result = handledMessage.defaultResult;
    }
    handledMessage = interrupted;
    return result;
}

HDC displayDeviceContext()
{
    return deviceContext;
}

bool platStartVideo(PlatWindowProcedure procedure)
{
    windowProcedure = procedure;
    instanceHandle = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = windowMessageProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instanceHandle;
    // The icon group is stored under a number, so this finds none and the
    // window shows the system's default icon; the file shows the group.
    windowClass.hIcon = LoadIconA(instanceHandle, "IDI_ICON1");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = CLASS_NAME;
    return RegisterClassA(&windowClass) != 0;
}

bool platStopVideo()
{
    return UnregisterClassA(CLASS_NAME, instanceHandle) != FALSE;
}

bool platRequestDisplayMode(int width, int height, int bits)
{
    DEVMODEA mode;
    memset(&mode, 0, sizeof mode);
    mode.dmSize = DISPLAY_MODE_RECORD_SIZE;
    mode.dmPelsWidth = static_cast<DWORD>(width);
    mode.dmPelsHeight = static_cast<DWORD>(height);
    mode.dmBitsPerPel = static_cast<DWORD>(bits);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) == DISP_CHANGE_SUCCESSFUL;
}

void platRestoreDisplayMode()
{
    ChangeDisplaySettingsA(nullptr, 0);
}

void platShowCursor(bool visible)
{
    ShowCursor(visible ? TRUE : FALSE);
}

bool platCreateWindow(const char* title, int width, int height, bool fullscreen, int colourBits,
                      int depthBits)
{
    memset(&pixelFormatRequest, 0, sizeof pixelFormatRequest);
    pixelFormatRequest.nSize = sizeof pixelFormatRequest;
    pixelFormatRequest.nVersion = 1;
    pixelFormatRequest.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pixelFormatRequest.iPixelType = PFD_TYPE_RGBA;
    pixelFormatRequest.cColorBits = static_cast<BYTE>(colourBits);
    pixelFormatRequest.cDepthBits = static_cast<BYTE>(depthBits);
    pixelFormatRequest.iLayerType = PFD_MAIN_PLANE;
    const DWORD extendedStyle =
        fullscreen ? WS_EX_APPWINDOW : static_cast<DWORD>(WS_EX_APPWINDOW | WS_EX_WINDOWEDGE);
    const DWORD style =
        fullscreen ? WS_POPUP : static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU);
    RECT frame = {0, 0, width, height};
    AdjustWindowRectEx(&frame, style, FALSE, extendedStyle);
    presentSetScreen(width, height);
    windowHandle =
        CreateWindowExA(extendedStyle, CLASS_NAME, title, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                        0, 0, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                        instanceHandle, nullptr);
    return windowHandle != nullptr;
}

bool platDestroyWindow()
{
    const bool destroyed = DestroyWindow(windowHandle) != FALSE;
    windowHandle = nullptr;
    return destroyed;
}

bool platGetDrawable()
{
    deviceContext = GetDC(windowHandle);
    return deviceContext != nullptr;
}

bool platReleaseDrawable()
{
    const bool released = ReleaseDC(windowHandle, deviceContext) != 0;
    deviceContext = nullptr;
    return released;
}

int platChoosePixelFormat()
{
    return ChoosePixelFormat(deviceContext, &pixelFormatRequest);
}

bool platSetPixelFormat(int format)
{
    return SetPixelFormat(deviceContext, format, &pixelFormatRequest) != FALSE;
}

bool platCreateContext()
{
    renderContext = wglCreateContext(deviceContext);
    return renderContext != nullptr;
}

bool platDeleteContext()
{
    const bool deleted = wglDeleteContext(renderContext) != FALSE;
    renderContext = nullptr;
    return deleted;
}

bool platMakeCurrent(bool current)
{
    if (current) {
        contextCurrent = wglMakeCurrent(deviceContext, renderContext) != FALSE;
        return contextCurrent;
    }
    if (contextCurrent) {
        presentRelease();
    }
    contextCurrent = false;
    return wglMakeCurrent(nullptr, nullptr) != FALSE;
}

void platShowWindow()
{
    ShowWindow(windowHandle, SW_SHOW);
    SetForegroundWindow(windowHandle);
    SetFocus(windowHandle);
}

// Where the window's client area is not the show's screen (a fullscreen
// window the system gave another size), the presentation scales the screen
// into it at the swap; see present.h.
void platSwapBuffers()
{
    presentFrame();
    SwapBuffers(deviceContext);
    presentResume();
}

// The size the show draws at: the client area's, or the screen's where the
// presentation scales it onto a client area of another size.
void platDrawableSize(int* width, int* height)
{
    RECT client;
    if (windowHandle == nullptr || !GetClientRect(windowHandle, &client)) {
        return;
    }
    *width = client.right - client.left;
    *height = client.bottom - client.top;
    if (contextCurrent) {
        presentSetDrawable(*width, *height);
        presentViewSize(width, height);
    }
}

void* platGetProcAddress(const char* name)
{
    return reinterpret_cast<void*>(wglGetProcAddress(name));
}

bool platHasExtension(const char* name)
{
    const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    const size_t length = strlen(name);
    if (list == nullptr || length == 0) {
        return false;
    }
    // A whole space-separated word, not the start of a longer name.
    for (const char* at = strstr(list, name); at != nullptr; at = strstr(at + 1, name)) {
        const bool starts = at == list || at[-1] == ' ';
        const bool ends = at[length] == ' ' || at[length] == '\0';
        if (starts && ends) {
            return true;
        }
    }
    return false;
}

// The window procedure refuses the screen saver's and the monitor's
// power-down commands while the window is in front; nothing to do here.
void platDisableScreenSaver()
{}

// --- messages --------------------------------------------------------------

bool platPeekMessage(PlatMessage* message)
{
    if (!PeekMessageA(&lastMessage, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    if (lastMessage.message == WM_QUIT) {
        *message = {PLAT_MSG_QUIT, static_cast<uint32_t>(lastMessage.wParam), 0};
        return true;
    }
    *message = translateWindowMessage(lastMessage.message, lastMessage.wParam, lastMessage.lParam);
    return true;
}

long platDispatchMessage(const PlatMessage*)
{
    TranslateMessage(&lastMessage);
    return static_cast<long>(DispatchMessageA(&lastMessage));
}

void platPostQuitMessage(int exitCode)
{
    PostQuitMessage(exitCode);
}

long platDefaultHandling(const PlatMessage*)
{
    if (handledMessage.window == nullptr) {
        return 0;  // not inside the window procedure: nothing to hand on
    }
    handledMessage.defaultResult = DefWindowProcA(handledMessage.window, handledMessage.message,
                                                  handledMessage.wParam, handledMessage.lParam);
    handledMessage.handedOn = true;
    return static_cast<long>(handledMessage.defaultResult);
}

// --- message boxes -----------------------------------------------------------

int platMessageBox(const char* text, const char* caption, int buttons, int icon)
{
    UINT type = buttons == PLAT_BUTTONS_YESNO ? MB_YESNO : MB_OK;
    type |= icon == PLAT_ICON_STOP          ? MB_ICONSTOP
            : icon == PLAT_ICON_INFORMATION ? MB_ICONINFORMATION
                                            : MB_ICONEXCLAMATION;
    switch (MessageBoxA(nullptr, text, caption, type)) {
    case IDOK: return PLAT_ANSWER_OK;
    case IDYES: return PLAT_ANSWER_YES;
    case IDNO: return PLAT_ANSWER_NO;
    default: return PLAT_ANSWER_NONE;
    }
}
