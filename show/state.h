// The values the show's threads share, stated once.
//
// Threads: the main thread owns the window, the GL context, the textures, the
// outline font and all drawing. The cue timer's thread runs the tick: it
// writes showTime, flashLevel and the stars' depths, and may set
// quitRequested. The sound layer's own thread alone touches the playing
// module and publishes its position (inside platform/).
//
// Every value that crosses threads is a std::atomic used with relaxed
// ordering: each is written with one whole store and read with one whole
// load, and no ordering between different values is needed. Nothing takes a
// lock. A frame may mix values of two ticks; that is accepted.
//
// They sit below both their writer (show/, the tick) and their readers
// (scene/, the frame; app/, the loop), and depend on nothing.
#pragma once

#include <atomic>
#include <cstdint>

// Show clock: +0.2 per 20 ms tick as a single-precision sum (10 units a
// second). Written by the tick only.
extern std::atomic<float> showTime;
// Flash overlay level: 0, or 1 to 253. Written by the tick only.
extern std::atomic<float> flashLevel;
// Set to 1 by the tick at the end cue and by the main loop; never cleared
// within a show.
extern std::atomic<uint8_t> quitRequested;

// The platform's handle of the loaded module, 0 for none. Written once by
// the main thread at start-up, before the cue timer starts; read by every
// tick.
extern uint32_t musicHandle;

// Puts the three atomics back as a new process has them, for a new show in the same
// process. Main thread, while no tick runs.
void resetShowState();
