#include "tools/werule-capture/video.h"

#include <cmath>

#include "show/cues.h"
#include "show/state.h"
#include "tools/werule-capture/capture.h"

// ------------------------------------------------------------------ state
// Main thread only.
static int videoFps = 60;                   // frames a second of show time
static int videoTicksRun = 0;               // ticks replayed so far
static const float* videoLevels = nullptr;  // flashLevel after tick n at [n - 1]
static int videoLevelCount = 0;

int64_t videoSampleAt(int frame, int fps)
{
    return (static_cast<int64_t>(frame) * VIDEO_SAMPLE_RATE * 2 + fps) / (2 * fps);
}

int videoFrameAt(double seconds, int fps)
{
    return static_cast<int>(std::llround(seconds * fps));
}

int videoFrameAfterTick(int tick, int fps)
{
    // The smallest k with k * 50 / fps >= tick.
    return static_cast<int>((static_cast<int64_t>(tick) * fps + CUE_TICKS_PER_SECOND - 1) /
                            CUE_TICKS_PER_SECOND);
}

static void setFlashAfterTicks()
{
    float level = 0;
    if (videoTicksRun > 0 && videoTicksRun <= videoLevelCount) {
        level = videoLevels[videoTicksRun - 1];
    }
    flashLevel.store(level, std::memory_order_relaxed);
}

void startVideoShow(unsigned seed, int fps, int firstFrame, const float* levels, int levelCount)
{
    videoFps = fps;
    videoLevels = levels;
    videoLevelCount = levelCount;
    videoTicksRun = ticksAtFrame(firstFrame, fps);
    replayShowTo(seed, firstFrame, fps, videoTicksRun);
    setFlashAfterTicks();
}

void advanceVideoTo(int frame)
{
    const int due = ticksAtFrame(frame, videoFps);
    for (; videoTicksRun < due; ++videoTicksRun) {
        replayTick();
    }
    setFlashAfterTicks();
}
