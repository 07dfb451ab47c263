// The display, message and message-box calls of platform.h in a browser
// page. The page (shell.html) owns the DOM: at the viewer's start gesture it
// makes a fresh canvas, asks for fullscreen on it and, where that is
// refused, asks the windowed question itself, all before the show starts,
// because a page can neither wait for an answer nor ask for fullscreen
// outside a gesture. The calls here then report what the page got: the
// display mode "changes" when fullscreen was granted, the Yes/No box
// returns the answer the viewer already gave. DOM events reach the show as
// window messages through a small queue (webPostMessage).
//
// Main thread only (the page's).
#include "platform/platform.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <emscripten.h>

#include <cstdio>
#include <cstring>

#include "platform/web/page.h"
#include "platform/web/webgl.h"

enum { QUEUE_SLOTS = 256 };

// ------------------------------------------------------------------ state
static PlatWindowProcedure windowProcedure;
static bool fullscreenGranted;  // the page got fullscreen at this start
static int windowedAnswer;      // PLAT_ANSWER_*: the viewer's answer to the question
static PlatMessage queue[QUEUE_SLOTS];
static int queueHead, queueCount;

// clang-format off
EM_JS(void, jsExitFullscreen, (), {
    if (document.fullscreenElement && document.exitFullscreen) {
        document.exitFullscreen().catch(function() {});
    } else if (document.webkitFullscreenElement && document.webkitExitFullscreen) {
        document.webkitExitFullscreen();
    }
});

EM_JS(void, jsShowCursor, (int visible), {
    if (Module.weruleCanvas) Module.weruleCanvas.style.cursor = visible ? "" : "none";
});

EM_JS(int, jsCreateWindow, (const char* title, int width, int height, int fullscreen), {
    document.title = UTF8ToString(title);
    var canvas = Module.weruleCanvas;
    if (!canvas) return 0;
    Module.weruleLayout(canvas, width, height, !!fullscreen);
    return 1;
});

EM_JS(void, jsDestroyWindow, (), {
    Module.weruleDropCanvas();
});

EM_JS(void, jsShowWindow, (), {
    var canvas = Module.weruleCanvas;
    if (!canvas) return;
    canvas.style.visibility = "visible";
    canvas.focus();
});

EM_JS(int, jsDrawableWidth, (), {
    return Module.weruleCanvas ? Module.weruleCanvas.width : 0;
});

EM_JS(int, jsDrawableHeight, (), {
    return Module.weruleCanvas ? Module.weruleCanvas.height : 0;
});

EM_JS(void, jsKeepAwake, (), {
    try {
        if (navigator.wakeLock) navigator.wakeLock.request("screen").catch(function() {});
    } catch (e) {
    }
});

EM_JS(void, jsMessage, (const char* text, const char* caption), {
    Module.weruleMessage(UTF8ToString(text), UTF8ToString(caption));
});
// clang-format on

void webSetStartOffer(bool fullscreen, int answer)
{
    fullscreenGranted = fullscreen;
    windowedAnswer = answer;
    queueHead = queueCount = 0;
}

void webPostMessage(int type, uint32_t wParam, uint32_t lParam)
{
    if (queueCount == QUEUE_SLOTS) {
        return;  // a flood of events while no frame runs: the oldest stay
    }
    queue[(queueHead + queueCount) % QUEUE_SLOTS] = PlatMessage{type, wParam, lParam};
    ++queueCount;
}

bool platStartVideo(PlatWindowProcedure procedure)
{
    windowProcedure = procedure;
    return true;
}

bool platStopVideo()
{
    return true;
}

bool platRequestDisplayMode(int, int, int)
{
    return fullscreenGranted;
}

void platRestoreDisplayMode()
{
    jsExitFullscreen();
}

void platShowCursor(bool visible)
{
    jsShowCursor(visible);
}

bool platCreateWindow(const char* title, int width, int height, bool fullscreen, int, int)
{
    return jsCreateWindow(title, width, height, fullscreen) != 0;
}

bool platDestroyWindow()
{
    jsDestroyWindow();
    return true;
}

bool platGetDrawable()
{
    return true;
}

bool platReleaseDrawable()
{
    return true;
}

int platChoosePixelFormat()
{
    return 1;
}

bool platSetPixelFormat(int format)
{
    return format == 1;
}

bool platCreateContext()
{
    return webGlCreate();
}

bool platDeleteContext()
{
    webGlDestroy();
    return true;
}

bool platMakeCurrent(bool)
{
    return true;
}

void platShowWindow()
{
    jsShowWindow();
}

void platSwapBuffers()
{
    // The browser shows what was drawn when the animation frame returns.
    webGlFlush();
    webFrameDrawn();
}

void platDrawableSize(int* width, int* height)
{
    *width = jsDrawableWidth();
    *height = jsDrawableHeight();
}

void* platGetProcAddress(const char* name)
{
    if (strcmp(name, "glMultiTexCoord3fvARB") == 0) {
        return reinterpret_cast<void*>(&glMultiTexCoord3fvARB);
    }
    return nullptr;
}

bool platHasExtension(const char* name)
{
    return strcmp(name, "GL_ARB_multitexture") == 0;
}

void platDisableScreenSaver()
{
    jsKeepAwake();
}

bool platPeekMessage(PlatMessage* message)
{
    if (queueCount == 0) {
        return false;
    }
    *message = queue[queueHead];
    queueHead = (queueHead + 1) % QUEUE_SLOTS;
    --queueCount;
    return true;
}

long platDispatchMessage(const PlatMessage* message)
{
    return windowProcedure != nullptr ? windowProcedure(message) : 0;
}

void platPostQuitMessage(int exitCode)
{
    webPostMessage(PLAT_MSG_QUIT, static_cast<uint32_t>(exitCode), 0);
}

long platDefaultHandling(const PlatMessage* message)
{
    if (message->type == PLAT_MSG_SYSKEYDOWN && message->wParam == PLAT_VK_F4) {
        webPostMessage(PLAT_MSG_CLOSE, 0, 0);
    }
    return 0;
}

int platMessageBox(const char* text, const char* caption, int buttons, int)
{
    fprintf(stderr, "%s\n", text);
    if (buttons == PLAT_BUTTONS_YESNO) {
        // Asked by the page before the start; a box nobody answered is none.
        return windowedAnswer;
    }
    jsMessage(text, caption);
    return PLAT_ANSWER_OK;
}
