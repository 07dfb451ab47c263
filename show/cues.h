// The 20 ms cue timer: advances the show clock, moves the stars, raises and
// decays the flash from the music position and asks for the end of the show.
#pragma once

#include <cstdint>

enum {
    CUE_PERIOD_MS = 20,  // one tick
    CUE_TICKS_PER_SECOND = 1000 / CUE_PERIOD_MS,
    CUE_FLASH_LEVEL = 256,  // the flash candidate at a cue
    CUE_FLASH_DECAY = 3,    // taken off the level every tick
    CUE_END_ORDER = 29,
    CUE_END_ROW = 62,
};
inline constexpr float CUE_CLOCK_STEP = 0.2f;  // added to showTime every tick

void startCueTimer();  // main thread, once, at the end of start-up
void cueTimerTick();   // timer thread, every 20 ms

// The clock step of one tick: showTime + CUE_CLOCK_STEP as a float sum.
// The timer thread in cueTimerTick; offline replays (no timer) call it on
// their own thread.
void advanceShowClock();

// The flash rule of one tick: the level after a tick that found the music at
// position (order in the low 16 bits, row in the high 16) with the flash at
// level; *endCue tells whether position is the end cue. Any thread; touches
// no shared value, so the capture tool's replay runs the very same rule.
float cueFlashStep(float level, uint32_t position, bool* endCue);
