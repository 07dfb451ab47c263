// The show's own screen on a drawable of another size, for the desktop
// backends (sdl/ and win32/): a portable core over OpenGL alone.
//
// The show draws a screen of one fixed size (the size its window was made
// with). Where the system gives the window a drawable of another size (a
// compositor's emulated display mode, Xwayland, a fullscreen surface of the
// monitor's size), the show draws into an offscreen framebuffer of the
// screen's size instead, and at each swap that framebuffer is scaled into
// the drawable, uniformly and centred, with black around it: what a monitor
// does with a mode of another shape. Where the drawable has the screen's
// size the show draws straight into it, as ever.
//
// Conventions, stated once:
// - Main thread only, with the window's GL context current (except
//   presentFit, which is pure arithmetic).
// - Sizes are in pixels; rectangles count from the drawable's bottom-left
//   corner, as OpenGL does.
// - Entry points beyond OpenGL 1.1 come from platGetProcAddress.
#pragma once

struct PresentRect {
    int x, y;           // bottom-left corner in the drawable
    int width, height;  // in pixels
};

// The largest rectangle of the screen's shape that fits a drawable of
// drawableWidth by drawableHeight, centred (odd leftovers go to the right
// and the top). Empty when either size is 0.
PresentRect presentFit(int screenWidth, int screenHeight, int drawableWidth, int drawableHeight);

// The screen's size, from the window's creation; forgets any framebuffer.
void presentSetScreen(int width, int height);

// The drawable's size as the system reports it now. From the next frame on
// the show draws into the drawable itself when the sizes match (or the
// drawable is empty, as while minimised), else into the offscreen screen.
// Without framebuffer objects (a driver of plain OpenGL 1.1) the show keeps
// drawing into the drawable, laid out from the drawable's own size.
void presentSetDrawable(int width, int height);

// The size the show lays its view out for: the screen's size, 0 by 0 for
// an empty drawable, or the drawable's own size where it cannot be scaled.
void presentViewSize(int* width, int* height);

// True while the show draws into the offscreen screen.
bool presentScaled();

// Before the system's swap: the offscreen screen, scaled and centred, into
// the drawable's back buffer, black around it. Nothing when not scaled.
void presentFrame();
// After the swap: the next frame goes into the offscreen screen again.
void presentResume();

// Deletes the offscreen framebuffer (before the context is released).
void presentRelease();
