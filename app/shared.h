// The few values both threads see, stated once.
//
// Threads: the main thread owns the window, the GL context, the textures, the
// outline font and all drawing. The cue timer's thread runs the tick: it
// writes showTime, flashLevel and the stars' depths, and may set
// quitRequested. SDL's audio thread alone touches the playing module and
// publishes its position (inside platform/sdl/sound.cpp).
//
// Every value that crosses threads is a std::atomic used with relaxed
// ordering: each is written with one whole store and read with one whole
// load, and no ordering between different values is needed. Nothing takes a
// lock. A frame may mix values of two ticks; that is accepted.
#pragma once

#include <atomic>
#include <cstdint>

// Show clock: +0.2 per 20 ms tick as a single-precision sum (10 units a
// second). Written by the tick only.
extern std::atomic<float> showTime;
// Flash overlay level: 0, or 1 to 253. Written by the tick only.
extern std::atomic<float> flashLevel;
// Set to 1 by the tick at the end cue and by the main loop; never cleared.
extern std::atomic<uint8_t> quitRequested;

// Main thread only.
extern uint8_t windowActive;  // 1 unless the window is minimised
extern uint8_t fullscreen;    // 1 while the display mode is changed
extern uint8_t keyDown[256];  // by virtual-key code, 1 from key-down to key-up

// Written once at start-up, before the cue timer starts; read by the tick.
extern uint32_t musicHandle;
