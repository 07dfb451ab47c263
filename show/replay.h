// The cue timer's flash replayed offline against the module as libopenmpt
// renders it, for tools that draw the show at a chosen time.
#pragma once

enum { REPLAY_MAX_TICKS = 30000 };   // 10 minutes of ticks

// The flash level after the first ticks ticks of the show, tick k seeing the
// position heard k x 20 ms after playback began, with the same rule as
// cueTimerTick; *endCueSeen tells whether any of them met the end cue.
// ticks above REPLAY_MAX_TICKS count as REPLAY_MAX_TICKS. False, with level
// 0, when the module does not load. Any one thread at a time.
bool replayCueTicks(int ticks, float* level, bool* endCueSeen);
