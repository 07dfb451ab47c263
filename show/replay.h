// The cue timer's flash replayed offline against the module as libopenmpt
// renders it, for tools that draw the show at a chosen time.
#pragma once

enum { REPLAY_MAX_TICKS = 30000 };  // 10 minutes of ticks

// The flash level after the first ticks ticks of the show, tick k seeing the
// position heard k x 20 ms after playback began, with the same rule as
// cueTimerTick; *endCueSeen tells whether any of them met the end cue.
// ticks above REPLAY_MAX_TICKS count as REPLAY_MAX_TICKS. False, with level
// 0, when the module does not load. Any one thread at a time.
bool replayCueTicks(int ticks, float* level, bool* endCueSeen);

// The same replay with the module rendered at frequency Hz: levels[k] is
// flashLevel after tick k + 1, for the first ticks ticks (at most
// REPLAY_MAX_TICKS); *endCueTick is the number of the first tick that met
// the end cue (1 for the first tick), or 0 when none did. False when the
// module does not load or ticks is out of range. Any one thread at a time.
bool replayCueLevels(int frequency, int ticks, float* levels, int* endCueTick);
