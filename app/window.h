// The program's one window and its GL context. Main thread only.
#pragma once

#include "platform/platform.h"

// Opens the window and makes a GL context current with the base render
// state in place. False after the user has been told what failed (and,
// where anything had been created, after closeWindow).
bool openWindow(const char* title, int width, int height, int bits, uint8_t fullscreenRequest);
// Restores the display mode and releases the context, drawable, window and
// video subsystem; a failing step shows "SHUTDOWN ERROR" and the rest goes on.
void closeWindow();
// Turns one window message into the shared flags; returns its result.
long windowProc(const PlatMessage* message);

// Window state, owned here (handles of the platform layer are its own).
extern bool videoStarted;
extern bool windowCreated;
extern bool drawableHeld;
extern bool contextCreated;
