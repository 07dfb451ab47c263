// The platform layer: everything the intro needs from the operating system,
// as one short list of functions. The rest of the program reaches the
// window system, OpenGL context management, the sound library, the font
// rasteriser and threads only through these; no other folder but app/'s
// entry point includes a system header. Only the intro's own calls are
// here; what only the tools and the tests call is in platform/tools.h.
//
// Three backends, one per build, each with the same files for the same
// jobs (display, sound, timer, font): sdl/ (Linux: SDL2, libopenmpt,
// FreeType, std::thread), win32/ (Windows: USER, GDI, WGL, the multimedia
// timer, libopenmpt and waveOut) and web/ (a browser page built by
// emscripten: the page's canvas and events, OpenGL 1.1 translated onto
// WebGL, a page timer on the one thread, libopenmpt and Web Audio). File
// names below are the backends' own. In web/ the "threads" below are all
// the page's one thread: the timer's callback runs between animation
// frames, and the module is rendered there too, ahead of the browser's
// audio thread, which plays it.
//
// Conventions, stated once:
// - Every function is named plat*; constants PLAT_*.
// - Results: functions that can fail return true on success (or a non-zero
//   handle); false or 0 means nothing was created. Nothing throws.
// - Threads: the display, window, message, message-box, context and font
//   functions are called on the main thread only. platMusicPosition may be
//   called from any thread. The periodic timer calls its callback on its own
//   thread. The audio callback runs on SDL's audio thread (on Windows: a
//   render thread of sound.cpp's own) and stays inside sound.cpp.
// - Ownership: data passed in (module bytes, font bytes) is borrowed and must
//   stay alive and unchanged for the life of the process.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- display
// display.cpp. Each function stands for one step of opening or closing the
// window, in the order the window code calls them.

// Starts the video subsystem on a real display and registers the window
// procedure that every message of the window goes to, whether the loop
// dispatches it or the system sends it while a window call runs. SDL:
// refuses SDL's invisible fallback drivers; Windows: registers the class.
struct PlatMessage;
typedef long (*PlatWindowProcedure)(const PlatMessage* message);
bool platStartVideo(PlatWindowProcedure procedure);
// Stops the video subsystem. Stands for unregistering the window class.
bool platStopVideo();

// True when the display offers exactly width by height at bits per pixel
// (bits 32 means 4 bytes per pixel); the mode is then used when the window
// is created fullscreen. Stands for the display-mode change.
bool platRequestDisplayMode(int width, int height, int bits);
// Returns the display to its own mode (a no-op when the mode never changed).
void platRestoreDisplayMode();
void platShowCursor(bool visible);

// Creates the window hidden at screen position (0, 0) with a drawable of
// width by height: fullscreen at the requested mode, or captioned and not
// resizable. depthBits is the depth buffer asked for; when the display has
// no GL format with that depth the nearest smaller one is taken.
bool platCreateWindow(const char* title, int width, int height, bool fullscreen, int colourBits,
                      int depthBits);
bool platDestroyWindow();

// The window's drawable (stands for GetDC / ReleaseDC).
bool platGetDrawable();
bool platReleaseDrawable();

// The GL pixel format the window was created with: a positive number, or 0
// when the display has no GL-capable format at all.
int platChoosePixelFormat();
// Fixes the chosen format for the context about to be created.
bool platSetPixelFormat(int format);

bool platCreateContext();
bool platDeleteContext();
// current true: make the window's context current; false: release it.
bool platMakeCurrent(bool current);

// Shows the window, raises it and gives it the keyboard focus.
void platShowWindow();
void platSwapBuffers();
// The size in pixels the show draws at: the window's size as created, which
// the layer scales onto a drawable of another size at the swap (0 by 0 for
// an empty drawable; the drawable's own size where it cannot scale).
void platDrawableSize(int* width, int* height);

// Looks up a GL entry point by name (may be non-null for unknown names) and
// tells whether the current context lists an extension.
void* platGetProcAddress(const char* name);
bool platHasExtension(const char* name);

// Keeps the screen saver and monitor power-down away while the show runs.
void platDisableScreenSaver();

// --------------------------------------------------------------- messages
// The window messages of the show, translated from the system's events.
enum PlatMessageType {
    PLAT_MSG_NONE = 0,
    PLAT_MSG_QUIT,      // wParam: exit code
    PLAT_MSG_SIZE,      // lParam: width in the low 16 bits, height in the high 16
    PLAT_MSG_ACTIVATE,  // wParam: high 16 bits non-zero when minimised
    PLAT_MSG_CLOSE,
    PLAT_MSG_KEYDOWN,  // wParam: virtual-key code (Esc is 27)
    PLAT_MSG_KEYUP,
    PLAT_MSG_SYSKEYDOWN,  // a key pressed with Alt held; wParam: virtual-key code
    PLAT_MSG_SYSKEYUP,
    PLAT_MSG_SYSCOMMAND,  // wParam: PLAT_SC_*
    PLAT_MSG_OTHER,
};
enum {
    PLAT_VK_ESCAPE = 27,
    PLAT_VK_F4 = 0x73,
    PLAT_SC_SCREENSAVE = 0xF140,
    PLAT_SC_MONITORPOWER = 0xF170,
};
struct PlatMessage {
    int type;  // PlatMessageType
    uint32_t wParam;
    uint32_t lParam;
};
// Takes at most one waiting message without blocking; false when none.
bool platPeekMessage(PlatMessage* message);
// Hands the message platPeekMessage just took to the window procedure
// (on Windows through TranslateMessage and DispatchMessageA); returns the
// procedure's result.
long platDispatchMessage(const PlatMessage* message);
// Queues PLAT_MSG_QUIT with exitCode, taken by a later platPeekMessage.
void platPostQuitMessage(int exitCode);
// Default handling of a message the window procedure does not take: Alt+F4
// asks to close the window; everything else is ignored.
long platDefaultHandling(const PlatMessage* message);

// ----------------------------------------------------------- message boxes
enum PlatButtons { PLAT_BUTTONS_OK, PLAT_BUTTONS_YESNO };
enum PlatIcon { PLAT_ICON_EXCLAMATION, PLAT_ICON_STOP, PLAT_ICON_INFORMATION };
enum PlatAnswer { PLAT_ANSWER_NONE, PLAT_ANSWER_OK, PLAT_ANSWER_YES, PLAT_ANSWER_NO };
// Shows a box with no owner window and waits for the answer (Yes is the
// default of a Yes/No box). The text also goes to standard error when the
// box cannot be shown; the answer is then PLAT_ANSWER_NONE.
int platMessageBox(const char* text, const char* caption, int buttons, int icon);

// ------------------------------------------------------------------ sound
// sound.cpp: libopenmpt renders, SDL audio (Windows: waveOut; web: Web
// Audio) plays. The five calls of the show, in the order it makes them. A
// handle of 0 means none.
enum { PLAT_SOUND_DEFAULT_DEVICE = -1 };
// Opens the output device at frequency Hz; when no device opens, falls back
// to a silent real-time device so the music still advances.
bool platSoundInit(int device, int frequency);
// Loads an Impulse Tracker (or any libopenmpt) module from memory; the bytes
// are borrowed for the life of the process. loop: play forever.
uint32_t platMusicLoad(const void* data, size_t length, bool loop);
bool platSoundStart();
// Plays the module from position (order in the low 16 bits, row in the high).
bool platMusicPlay(uint32_t music, uint32_t position);
// The position being heard now: order in the low 16 bits, row in the high
// 16 bits; 0xFFFFFFFF when there is no such music or no device. Any thread.
uint32_t platMusicPosition(uint32_t music);

// ------------------------------------------------------------------ timer
// timer.cpp: a periodic callback on its own thread. Ticks never overlap;
// deadlines advance by exactly periodMs, so there is no drift. The timer is
// never stopped; it ends with the process.
bool platStartPeriodicTimer(int periodMs, void (*callback)());

// ----------------------------------------------------------- outline font
// font.cpp: FreeType + the GLU tessellator (on Windows: the system's bold
// Arial through wglUseFontOutlinesA; the font bytes are not read). Builds
// one display list per character code first .. first+count-1 at
// listBase + code, each drawing the glyph as flat counter-clockwise
// triangles in z = 0 (em height 1) and then moving the pen by its advance;
// fills metrics[code - first]. Needs a current GL context.
struct PlatGlyphMetrics {
    float blackBoxX, blackBoxY;  // size of the glyph's bounding box, em units
    float originX, originY;      // top-left of the box relative to the pen
    float cellIncX, cellIncY;    // pen advance
};
bool platBuildOutlineFont(const unsigned char* fontData, size_t fontSize, int first, int count,
                          unsigned listBase, PlatGlyphMetrics* metrics);
