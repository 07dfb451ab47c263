#include "platform/present.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>

#include "platform/platform.h"

// ------------------------------------------------------------------ state
// Main thread only.
static int screenWidth, screenHeight;      // the screen the show draws, pixels
static int drawableWidth, drawableHeight;  // the window's drawable, pixels
static bool scaled;                        // the show draws into the offscreen screen
static bool cannotScale;  // the drawable differs but the context has no framebuffer objects

// The offscreen screen: a framebuffer with colour and depth renderbuffers
// of the screen's size; 0 until first needed.
static GLuint framebuffer, colourBuffer, depthBuffer;

// Framebuffer entry points, bound once per context: OpenGL 3.0's or
// ARB_framebuffer_object's, else EXT_framebuffer_object's with
// EXT_framebuffer_blit's (the same calls and values under other names).
struct FramebufferCalls {
    bool looked;  // the lookup ran for this context
    bool found;   // every call below is there
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus;
    PFNGLBLITFRAMEBUFFERPROC blitFramebuffer;
};
static FramebufferCalls calls;

PresentRect presentFit(int screenW, int screenH, int drawableW, int drawableH)
{
    PresentRect rect = {0, 0, 0, 0};
    if (screenW <= 0 || screenH <= 0 || drawableW <= 0 || drawableH <= 0) {
        return rect;
    }
    // Compared in 64 bits: which side limits the scale, without rounding.
    const bool widthLimits =
        static_cast<long long>(drawableW) * screenH <= static_cast<long long>(drawableH) * screenW;
    if (widthLimits) {
        rect.width = drawableW;
        rect.height = static_cast<int>((static_cast<long long>(drawableW) * screenH * 2 + screenW) /
                                       (2 * screenW));
    } else {
        rect.height = drawableH;
        rect.width = static_cast<int>((static_cast<long long>(drawableH) * screenW * 2 + screenH) /
                                      (2 * screenH));
    }
    rect.x = (drawableW - rect.width) / 2;
    rect.y = (drawableH - rect.height) / 2;
    return rect;
}

// The named call, or its EXT name when the first is missing.
template <typename Call>
static Call lookUp(const char* name, const char* extName, bool useExt)
{
    return reinterpret_cast<Call>(platGetProcAddress(useExt ? extName : name));
}

// True when the current context has framebuffer objects and blits.
static bool bindCalls()
{
    if (calls.looked) {
        return calls.found;
    }
    calls.looked = true;
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0;
    const bool core = version != nullptr && sscanf(version, "%d", &major) == 1 && major >= 3;
    const bool arb = core || platHasExtension("GL_ARB_framebuffer_object");
    const bool ext = platHasExtension("GL_EXT_framebuffer_object") &&
                     platHasExtension("GL_EXT_framebuffer_blit");
    if (!arb && !ext) {
        return false;
    }
    const bool useExt = !arb;
    calls.genFramebuffers =
        lookUp<PFNGLGENFRAMEBUFFERSPROC>("glGenFramebuffers", "glGenFramebuffersEXT", useExt);
    calls.deleteFramebuffers = lookUp<PFNGLDELETEFRAMEBUFFERSPROC>(
        "glDeleteFramebuffers", "glDeleteFramebuffersEXT", useExt);
    calls.bindFramebuffer =
        lookUp<PFNGLBINDFRAMEBUFFERPROC>("glBindFramebuffer", "glBindFramebufferEXT", useExt);
    calls.genRenderbuffers =
        lookUp<PFNGLGENRENDERBUFFERSPROC>("glGenRenderbuffers", "glGenRenderbuffersEXT", useExt);
    calls.deleteRenderbuffers = lookUp<PFNGLDELETERENDERBUFFERSPROC>(
        "glDeleteRenderbuffers", "glDeleteRenderbuffersEXT", useExt);
    calls.bindRenderbuffer =
        lookUp<PFNGLBINDRENDERBUFFERPROC>("glBindRenderbuffer", "glBindRenderbufferEXT", useExt);
    calls.renderbufferStorage = lookUp<PFNGLRENDERBUFFERSTORAGEPROC>(
        "glRenderbufferStorage", "glRenderbufferStorageEXT", useExt);
    calls.framebufferRenderbuffer = lookUp<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(
        "glFramebufferRenderbuffer", "glFramebufferRenderbufferEXT", useExt);
    calls.checkFramebufferStatus = lookUp<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(
        "glCheckFramebufferStatus", "glCheckFramebufferStatusEXT", useExt);
    calls.blitFramebuffer =
        lookUp<PFNGLBLITFRAMEBUFFERPROC>("glBlitFramebuffer", "glBlitFramebufferEXT", useExt);
    calls.found = calls.genFramebuffers && calls.deleteFramebuffers && calls.bindFramebuffer &&
                  calls.genRenderbuffers && calls.deleteRenderbuffers && calls.bindRenderbuffer &&
                  calls.renderbufferStorage && calls.framebufferRenderbuffer &&
                  calls.checkFramebufferStatus && calls.blitFramebuffer;
    return calls.found;
}

// The depth format of the drawable's own depth buffer, so that the
// offscreen screen resolves depth exactly as the window would.
static GLenum depthFormat()
{
    GLint bits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &bits);
    return bits >= 32   ? GL_DEPTH_COMPONENT32
           : bits >= 24 ? GL_DEPTH_COMPONENT24
                        : GL_DEPTH_COMPONENT16;
}

// Makes the offscreen screen; false (with nothing left behind) when the
// context cannot. Called with the drawable's framebuffer bound.
static bool makeFramebuffer()
{
    if (framebuffer != 0) {
        return true;
    }
    if (!bindCalls()) {
        return false;
    }
    const GLenum depth = depthFormat();
    calls.genRenderbuffers(1, &colourBuffer);
    calls.bindRenderbuffer(GL_RENDERBUFFER, colourBuffer);
    calls.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, screenWidth, screenHeight);
    calls.genRenderbuffers(1, &depthBuffer);
    calls.bindRenderbuffer(GL_RENDERBUFFER, depthBuffer);
    calls.renderbufferStorage(GL_RENDERBUFFER, depth, screenWidth, screenHeight);
    calls.bindRenderbuffer(GL_RENDERBUFFER, 0);
    calls.genFramebuffers(1, &framebuffer);
    calls.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    calls.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  colourBuffer);
    calls.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                                  depthBuffer);
    const bool complete = calls.checkFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    calls.bindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!complete) {
        presentRelease();
    }
    return complete;
}

void presentRelease()
{
    if (framebuffer != 0) {
        calls.bindFramebuffer(GL_FRAMEBUFFER, 0);
        calls.deleteFramebuffers(1, &framebuffer);
        calls.deleteRenderbuffers(1, &colourBuffer);
        calls.deleteRenderbuffers(1, &depthBuffer);
    }
    framebuffer = colourBuffer = depthBuffer = 0;
    scaled = false;
}

void presentSetScreen(int width, int height)
{
    screenWidth = width;
    screenHeight = height;
    drawableWidth = width;
    drawableHeight = height;
    framebuffer = colourBuffer = depthBuffer = 0;
    scaled = false;
    cannotScale = false;
    calls = FramebufferCalls{};
}

void presentSetDrawable(int width, int height)
{
    drawableWidth = width;
    drawableHeight = height;
    const bool differs =
        width > 0 && height > 0 && (width != screenWidth || height != screenHeight);
    const bool wasScaled = scaled;
    scaled = differs && makeFramebuffer();
    cannotScale = differs && !scaled;
    if (scaled != wasScaled) {
        calls.bindFramebuffer(GL_FRAMEBUFFER, scaled ? framebuffer : 0);
    }
}

void presentViewSize(int* width, int* height)
{
    if (drawableWidth <= 0 || drawableHeight <= 0) {
        *width = 0;
        *height = 0;
    } else if (cannotScale) {
        *width = drawableWidth;
        *height = drawableHeight;
    } else {
        *width = screenWidth;
        *height = screenHeight;
    }
}

bool presentScaled()
{
    return scaled;
}

void presentFrame()
{
    if (!scaled) {
        return;
    }
    const PresentRect to = presentFit(screenWidth, screenHeight, drawableWidth, drawableHeight);
    calls.bindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    calls.bindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    // The scene never scissors; the clear and the blit must reach the whole
    // drawable, with black around the screen.
    GLfloat clearColour[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
    const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    calls.blitFramebuffer(0, 0, screenWidth, screenHeight, to.x, to.y, to.x + to.width,
                          to.y + to.height, GL_COLOR_BUFFER_BIT, GL_LINEAR);
    glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
    if (scissor) {
        glEnable(GL_SCISSOR_TEST);
    }
}

void presentResume()
{
    if (scaled) {
        calls.bindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    }
}
