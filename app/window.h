// The program's one window and its GL context. Main thread only.
#pragma once

#include <cstdint>

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

// Puts the window module back as a new process has it, for a new show in
// the same process: the flags below as they start, no pixel format chosen.
// Call before openWindow, with the window closed.
void resetWindowState();

// Main thread only, owned here.
extern uint8_t windowActive;  // 1 unless the window is minimised; starts 1
extern uint8_t fullscreen;    // 1 while the display mode is changed; starts 1
extern uint8_t keyDown[256];  // by virtual-key code, 1 from key-down to key-up

// Window state, owned here (handles of the platform layer are its own).
extern bool videoStarted;
extern bool windowCreated;
extern bool drawableHeld;
extern bool contextCreated;
