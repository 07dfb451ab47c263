// The display, the window, its GL context, its messages and message boxes,
// over SDL2 video. Main thread only.

#include "platform/platform.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/present.h"

// --- display state (main thread) -----------------------------------------
static SDL_Window* window;             // the one window, null until created
static SDL_GLContext context;          // its GL context, null until created
static SDL_DisplayMode requestedMode;  // the display mode found for fullscreen
static bool modeFound;                 // requestedMode is valid
static int chosenDepthBits;            // depth buffer of the window's GL format; 0: none
static int chosenColourBits;           // colour bits of that format (per pixel)

// Where dispatched messages go: the procedure platStartVideo was given.
static PlatWindowProcedure windowProcedure;

// Messages the layer makes itself (a posted quit, a close asked for by
// Alt+F4, the size that follows a restore), taken before SDL's queue is
// polled again. Quit is held apart: it is taken only when nothing else waits.
static PlatMessage pendingMessage;  // type PLAT_MSG_NONE when empty
static bool quitPosted;
static int quitExitCode;

// The drivers that put a window on a real screen. SDL falls back to its
// invisible "offscreen" and "dummy" drivers when no display is reachable;
// the show refuses those.
static const char* const REAL_VIDEO_DRIVERS[] = {"x11", "wayland", "kmsdrm"};

// Tells a person at a terminal why no window can open: one line on standard
// error, naming the display variables as found. Main thread.
static void explainNoDisplay(const char* detail)
{
    const char* x11 = getenv("DISPLAY");
    const char* wayland = getenv("WAYLAND_DISPLAY");
    fprintf(stderr,
            "werule: no X11 or Wayland display could be opened (DISPLAY=%s, "
            "WAYLAND_DISPLAY=%s): %s\n",
            x11 != nullptr ? x11 : "unset", wayland != nullptr ? wayland : "unset", detail);
}

bool platStartVideo(PlatWindowProcedure procedure)
{
    windowProcedure = procedure;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        explainNoDisplay(SDL_GetError());
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    for (const char* real : REAL_VIDEO_DRIVERS) {
        if (driver != nullptr && strcmp(driver, real) == 0) {
            return true;
        }
    }
    char detail[128];
    snprintf(detail, sizeof detail, "SDL found only its '%s' video driver, which shows nothing",
             driver != nullptr ? driver : "");
    explainNoDisplay(detail);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return false;
}

bool platStopVideo()
{
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        return false;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return true;
}

bool platRequestDisplayMode(int width, int height, int bits)
{
    modeFound = false;
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; ++i) {
        SDL_DisplayMode mode;
        if (SDL_GetDisplayMode(0, i, &mode) != 0) {
            continue;
        }
        // SDL reports 32-bit modes as 24 bits per pixel in 4 bytes.
        if (mode.w == width && mode.h == height &&
            static_cast<int>(SDL_BYTESPERPIXEL(mode.format)) * 8 == bits) {
            requestedMode = mode;
            modeFound = true;
            return true;
        }
    }
    return false;
}

void platRestoreDisplayMode()
{
    if (window != nullptr && (SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0) {
        SDL_SetWindowFullscreen(window, 0);
    }
    modeFound = false;
}

void platShowCursor(bool visible)
{
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

// Sets the GL attributes of one candidate format: double buffered, colour
// from colourBits without alpha, the given depth, nothing else.
static bool setFormatAttributes(int colourBits, int depthBits)
{
    int channelBits = colourBits >= 24 ? 8 : colourBits >= 15 ? 5 : 4;
    bool ok = true;
    ok &= SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channelBits) == 0;
    ok &= SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channelBits) == 0;
    ok &= SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channelBits) == 0;
    ok &= SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 0) == 0;
    ok &= SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1) == 0;
    ok &= SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, depthBits) == 0;
    ok &= SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0) == 0;
    ok &= SDL_GL_SetAttribute(SDL_GL_ACCUM_RED_SIZE, 0) == 0;
    ok &= SDL_GL_SetAttribute(SDL_GL_ACCUM_GREEN_SIZE, 0) == 0;
    ok &= SDL_GL_SetAttribute(SDL_GL_ACCUM_BLUE_SIZE, 0) == 0;
    ok &= SDL_GL_SetAttribute(SDL_GL_ACCUM_ALPHA_SIZE, 0) == 0;
    return ok;
}

// Wayland has no display modes a client may set: SDL emulates one by
// stretching the window over the whole output, whatever its shape. There
// the window takes the output's own size, and the presentation scales the
// show's screen into it with its shape kept.
static bool modesEmulated()
{
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && strcmp(driver, "wayland") == 0;
}

bool platCreateWindow(const char* title, int width, int height, bool fullscreen, int colourBits,
                      int depthBits)
{
    const Uint32 fullscreenFlag = !fullscreen       ? 0
                                  : modesEmulated() ? SDL_WINDOW_FULLSCREEN_DESKTOP
                                                    : SDL_WINDOW_FULLSCREEN;
    Uint32 flags = SDL_WINDOW_HIDDEN | fullscreenFlag;
    // The window's GL visual is fixed when it is made, so the format is
    // chosen here: the depth asked for, else the nearest smaller one.
    static const int DEPTH_CANDIDATES[] = {32, 24, 16};
    chosenDepthBits = 0;
    chosenColourBits = colourBits;
    for (int depth : DEPTH_CANDIDATES) {
        if (depth > depthBits || !setFormatAttributes(colourBits, depth)) {
            continue;
        }
        window = SDL_CreateWindow(title, 0, 0, width, height, flags | SDL_WINDOW_OPENGL);
        if (window != nullptr) {
            chosenDepthBits = depth;
            break;
        }
    }
    if (window == nullptr) {
        // No GL format at all: keep a plain window so the format choice,
        // not the window, is what fails.
        window = SDL_CreateWindow(title, 0, 0, width, height, flags);
        if (window == nullptr) {
            return false;
        }
    }
    if (fullscreenFlag == SDL_WINDOW_FULLSCREEN && modeFound) {
        SDL_SetWindowDisplayMode(window, &requestedMode);
    }
    presentSetScreen(width, height);
    return true;
}

bool platDestroyWindow()
{
    if (window == nullptr) {
        return false;
    }
    SDL_DestroyWindow(window);
    window = nullptr;
    return true;
}

bool platGetDrawable()
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return window != nullptr && SDL_GetWindowWMInfo(window, &info) == SDL_TRUE;
}

bool platReleaseDrawable()
{
    return window != nullptr;
}

int platChoosePixelFormat()
{
    return chosenDepthBits > 0 ? chosenDepthBits : 0;
}

bool platSetPixelFormat(int format)
{
    if (window == nullptr || (SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL) == 0) {
        return false;
    }
    return setFormatAttributes(chosenColourBits, format);
}

bool platCreateContext()
{
    context = SDL_GL_CreateContext(window);
    return context != nullptr;
}

bool platDeleteContext()
{
    if (context == nullptr) {
        return false;
    }
    SDL_GL_DeleteContext(context);
    context = nullptr;
    return true;
}

bool platMakeCurrent(bool current)
{
    if (!current && context != nullptr && SDL_GL_GetCurrentContext() == context) {
        presentRelease();
    }
    return SDL_GL_MakeCurrent(window, current ? context : nullptr) == 0;
}

void platShowWindow()
{
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
}

// The drawable's size now, handed to the presentation when the window's
// context is current (which a size that comes late, as Xwayland's
// fullscreen size does, then scales from the next frame on).
static void followDrawable()
{
    if (window == nullptr || context == nullptr || SDL_GL_GetCurrentContext() != context) {
        return;
    }
    int width = 0;
    int height = 0;
    SDL_GL_GetDrawableSize(window, &width, &height);
    presentSetDrawable(width, height);
}

void platSwapBuffers()
{
    presentFrame();
    SDL_GL_SwapWindow(window);
    presentResume();
    followDrawable();
}

// The size the show draws at: the window's size as created, which the
// presentation scales onto a drawable of another size (see present.h).
void platDrawableSize(int* width, int* height)
{
    if (window == nullptr) {
        return;
    }
    if (context == nullptr || SDL_GL_GetCurrentContext() != context) {
        SDL_GL_GetDrawableSize(window, width, height);
        return;
    }
    followDrawable();
    presentViewSize(width, height);
}

void* platGetProcAddress(const char* name)
{
    return SDL_GL_GetProcAddress(name);
}

bool platHasExtension(const char* name)
{
    return SDL_GL_ExtensionSupported(name) == SDL_TRUE;
}

void platDisableScreenSaver()
{
    SDL_DisableScreenSaver();
}

// --- messages --------------------------------------------------------------

// Virtual-key code of an SDL key, 0 for keys the show has no code for.
static uint32_t virtualKey(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z) {
        return 'A' + (key - SDLK_a);
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return '0' + (key - SDLK_0);
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return 0x70 + (key - SDLK_F1);
    }
    switch (key) {
    case SDLK_ESCAPE: return PLAT_VK_ESCAPE;
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_TAB: return 0x09;
    case SDLK_RETURN: return 0x0D;
    case SDLK_SPACE: return 0x20;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return 0x10;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return 0x11;
    case SDLK_LALT:
    case SDLK_RALT: return 0x12;
    default: return 0;
    }
}

static PlatMessage sizeMessage()
{
    int width = 0;
    int height = 0;
    platDrawableSize(&width, &height);
    PlatMessage message = {PLAT_MSG_SIZE, 0,
                           (static_cast<uint32_t>(height & 0xFFFF) << 16) | (width & 0xFFFF)};
    return message;
}

// One SDL event as the window message it stands for.
static PlatMessage translateEvent(const SDL_Event& event)
{
    PlatMessage message = {PLAT_MSG_OTHER, 0, 0};
    switch (event.type) {
    case SDL_QUIT: message.type = PLAT_MSG_CLOSE; break;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE: message.type = PLAT_MSG_CLOSE; break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: message = sizeMessage(); break;
        case SDL_WINDOWEVENT_MINIMIZED:
            message.type = PLAT_MSG_ACTIVATE;
            message.wParam = 1u << 16;
            break;
        case SDL_WINDOWEVENT_RESTORED:
            message.type = PLAT_MSG_ACTIVATE;
            pendingMessage = sizeMessage();  // re-lay the viewport next
            break;
        default: break;
        }
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        uint32_t key = virtualKey(event.key.keysym.sym);
        if (key == 0) {
            break;
        }
        bool alt = (event.key.keysym.mod & KMOD_ALT) != 0;
        bool down = event.type == SDL_KEYDOWN;
        message.type = alt ? (down ? PLAT_MSG_SYSKEYDOWN : PLAT_MSG_SYSKEYUP)
                           : (down ? PLAT_MSG_KEYDOWN : PLAT_MSG_KEYUP);
        message.wParam = key;
        break;
    }
    default: break;
    }
    return message;
}

bool platPeekMessage(PlatMessage* message)
{
    if (pendingMessage.type != PLAT_MSG_NONE) {
        *message = pendingMessage;
        pendingMessage.type = PLAT_MSG_NONE;
        return true;
    }
    SDL_Event event;
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0 && SDL_PollEvent(&event)) {
        *message = translateEvent(event);
        return true;
    }
    if (quitPosted) {
        quitPosted = false;
        *message = {PLAT_MSG_QUIT, static_cast<uint32_t>(quitExitCode), 0};
        return true;
    }
    return false;
}

// SDL sends nothing while a window call runs: every message comes through
// the loop, and this hands it on.
long platDispatchMessage(const PlatMessage* message)
{
    return windowProcedure != nullptr ? windowProcedure(message) : 0;
}

void platPostQuitMessage(int exitCode)
{
    quitPosted = true;
    quitExitCode = exitCode;
}

long platDefaultHandling(const PlatMessage* message)
{
    if (message->type == PLAT_MSG_SYSKEYDOWN && message->wParam == PLAT_VK_F4) {
        pendingMessage = {PLAT_MSG_CLOSE, 0, 0};
    }
    return 0;
}

// --- message boxes -----------------------------------------------------------

int platMessageBox(const char* text, const char* caption, int buttons, int icon)
{
    Uint32 flags = icon == PLAT_ICON_STOP          ? SDL_MESSAGEBOX_ERROR
                   : icon == PLAT_ICON_INFORMATION ? SDL_MESSAGEBOX_INFORMATION
                                                   : SDL_MESSAGEBOX_WARNING;
    SDL_MessageBoxButtonData okButton[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
         PLAT_ANSWER_OK, "OK"},
    };
    SDL_MessageBoxButtonData yesNoButtons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, PLAT_ANSWER_YES, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, PLAT_ANSWER_NO, "No"},
    };
    SDL_MessageBoxData box = {};
    box.flags = flags;
    box.window = nullptr;
    box.title = caption;
    box.message = text;
    if (buttons == PLAT_BUTTONS_YESNO) {
        box.numbuttons = 2;
        box.buttons = yesNoButtons;
    } else {
        box.numbuttons = 1;
        box.buttons = okButton;
    }
    int answer = PLAT_ANSWER_NONE;
    if (SDL_ShowMessageBox(&box, &answer) != 0 || answer < 0) {
        fprintf(stderr, "%s%s%s\n", caption, caption[0] != '\0' ? ": " : "", text);
        return PLAT_ANSWER_NONE;
    }
    return answer;
}
