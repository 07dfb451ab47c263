#include "app/window.h"

#include <cstring>

#include "app/view.h"

// --- window state (main thread) ----------------------------------------
uint8_t windowActive = 1;
uint8_t fullscreen = 1;
uint8_t keyDown[256];
bool videoStarted;    // the video subsystem is up (the "window class")
bool windowCreated;   // the window exists
bool drawableHeld;    // its drawable is held (the "device context")
bool contextCreated;  // the GL context exists

// The pixel format asked for: colour bits from the first openWindow, depth
// 32, double buffered, no alpha, no accumulation or stencil.
static int pixelFormatColourBits;
static const int PIXEL_FORMAT_DEPTH_BITS = 32;

void resetWindowState()
{
    windowActive = 1;
    fullscreen = 1;
    memset(keyDown, 0, sizeof keyDown);
    pixelFormatColourBits = 0;
}

static void fail(const char* text, const char* caption)
{
    platMessageBox(text, caption, PLAT_BUTTONS_OK, PLAT_ICON_EXCLAMATION);
}

static void shutdownError(const char* text)
{
    platMessageBox(text, "SHUTDOWN ERROR", PLAT_BUTTONS_OK, PLAT_ICON_INFORMATION);
}

bool openWindow(const char* title, int width, int height, int bits, uint8_t fullscreenRequest)
{
    fullscreen = fullscreenRequest;
    if (pixelFormatColourBits == 0) {
        pixelFormatColourBits = bits;
    }

    if (!platStartVideo(windowProc)) {
        fail("Failed To Register The Window Class.", "ERROR");
        return false;
    }
    videoStarted = true;

    if (fullscreen) {
        if (platRequestDisplayMode(width, height, bits)) {
            platShowCursor(false);
        } else {
            int answer = platMessageBox("Nie ma fulskrina. W oknie?", "", PLAT_BUTTONS_YESNO,
                                        PLAT_ICON_EXCLAMATION);
            if (answer == PLAT_ANSWER_YES) {
                fullscreen = 0;
            } else {
                platMessageBox("To ja znikam.", "", PLAT_BUTTONS_OK, PLAT_ICON_STOP);
                return false;
            }
        }
    }

    if (!platCreateWindow(title, width, height, fullscreen != 0, pixelFormatColourBits,
                          PIXEL_FORMAT_DEPTH_BITS)) {
        closeWindow();
        fail("Blad utworzenia okna.", "Buond");
        return false;
    }
    windowCreated = true;

    if (!platGetDrawable()) {
        closeWindow();
        fail("#1", "ERROR");
        return false;
    }
    drawableHeld = true;

    int format = platChoosePixelFormat();
    if (format == 0) {
        closeWindow();
        fail("#2", "ERROR");
        return false;
    }
    if (!platSetPixelFormat(format)) {
        closeWindow();
        fail("#3", "ERROR");
        return false;
    }
    if (!platCreateContext()) {
        closeWindow();
        fail("#4", "ERROR");
        return false;
    }
    contextCreated = true;
    if (!platMakeCurrent(true)) {
        closeWindow();
        fail("#5", "ERROR");
        return false;
    }

    platShowWindow();
    platDisableScreenSaver();

    int drawableWidth = width;
    int drawableHeight = height;
    platDrawableSize(&drawableWidth, &drawableHeight);
    resizeView(drawableWidth, drawableHeight);
    if (!setBaseState()) {
        closeWindow();
        fail("Blad inicjalizacji.", "Buond");
        return false;
    }
    return true;
}

void closeWindow()
{
    if (fullscreen) {
        platRestoreDisplayMode();
        platShowCursor(true);
    }
    if (contextCreated) {
        if (!platMakeCurrent(false)) {
            shutdownError("Release Of DC And RC Failed.");
        }
        if (!platDeleteContext()) {
            shutdownError("Release Rendering Context Failed.");
        }
        contextCreated = false;
    }
    if (drawableHeld) {
        if (!platReleaseDrawable()) {
            shutdownError("Release Device Context Failed.");
        }
        drawableHeld = false;
    }
    if (windowCreated) {
        if (!platDestroyWindow()) {
            shutdownError("Could Not Release hWnd.");
        }
        windowCreated = false;
    }
    if (!platStopVideo()) {
        shutdownError("Could Not Unregister Class.");
    }
    videoStarted = false;
}

long windowProc(const PlatMessage* message)
{
    switch (message->type) {
    case PLAT_MSG_SIZE: resizeView(message->lParam & 0xFFFF, message->lParam >> 16); return 0;
    case PLAT_MSG_ACTIVATE: windowActive = (message->wParam >> 16) == 0 ? 1 : 0; return 0;
    case PLAT_MSG_CLOSE: platPostQuitMessage(0); return 0;
    case PLAT_MSG_KEYDOWN:
    case PLAT_MSG_KEYUP:
        // Codes beyond the table are not ours to record.
        if (message->wParam < sizeof keyDown) {
            keyDown[message->wParam] = message->type == PLAT_MSG_KEYDOWN ? 1 : 0;
        }
        return 0;
    case PLAT_MSG_SYSCOMMAND:
        if (message->wParam == PLAT_SC_SCREENSAVE || message->wParam == PLAT_SC_MONITORPOWER) {
            return 0;
        }
        return platDefaultHandling(message);
    default: return platDefaultHandling(message);
    }
}
