// The show as a video: frame k of a capture at fps frames a second shows
// show time k / fps, after the 20 ms ticks due by then, with the panel flips
// of a loop that drew every frame before it; the sound is the module
// rendered offline on a 48,000 Hz clock that starts with the show.
#pragma once

#include <cstdint>

inline constexpr int VIDEO_MIN_FPS = 1;
inline constexpr int VIDEO_MAX_FPS = 240;
inline constexpr int VIDEO_SAMPLE_RATE = 48000;  // Hz, the sound's clock
inline constexpr int VIDEO_CHANNELS = 2;

// The first sound frame (at VIDEO_SAMPLE_RATE) of picture frame k: k / fps
// seconds rounded to the nearest sample, so every picture frame has 48000 /
// fps samples when that divides and the rounding never adds up otherwise.
int64_t videoSampleAt(int frame, int fps);
// The frame shown at `seconds`, rounded to the nearest frame.
int videoFrameAt(double seconds, int fps);
// The first frame drawn after tick `tick` has run: the end of a show whose
// tick `tick` met the end cue (the loop stops before drawing that frame).
int videoFrameAfterTick(int tick, int fps);

// Sets the show to its state at firstFrame of a capture at fps: stars
// scattered with seed, ticks and flips replayed from the start; flashLevel
// after tick n is levels[n - 1] (levelCount of them, kept, not copied).
// Main thread.
void startVideoShow(unsigned seed, int fps, int firstFrame, const float* levels, int levelCount);
// Runs the ticks due by `frame` (not before the frame last reached): the
// same clock step and star move as the cue timer's, the flash replayed.
void advanceVideoTo(int frame);
