// The video's clock without a GL context: which ticks, sound samples and
// frames belong together at every rate, and the show's state at a frame
// reached by playing from the start against the state set up directly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "scene/frame.h"
#include "scene/stars.h"
#include "show/state.h"
#include "tools/werule-capture/capture.h"
#include "tools/werule-capture/video.h"

TEST(VideoClock, TicksAreTheWholeTwentyMillisecondStepsUpToEachFrame)
{
    for (int fps = VIDEO_MIN_FPS; fps <= VIDEO_MAX_FPS; ++fps) {
        for (int frame = 0; frame < 20 * fps; ++frame) {
            const int ticks = ticksAtFrame(frame, fps);
            // Tick n runs at n / 50 s: the last one due is no later than the
            // frame's time and the next one later than it (in exact fractions).
            ASSERT_LE(static_cast<int64_t>(ticks) * fps, static_cast<int64_t>(frame) * 50)
                << fps << " fps, frame " << frame;
            ASSERT_GT(static_cast<int64_t>(ticks + 1) * fps, static_cast<int64_t>(frame) * 50)
                << fps << " fps, frame " << frame;
        }
    }
}

TEST(VideoClock, EveryFrameGetsItsShareOfTheSoundAndTheTotalNeverDrifts)
{
    EXPECT_EQ(videoSampleAt(1, 60), 800);
    for (int fps = VIDEO_MIN_FPS; fps <= VIDEO_MAX_FPS; ++fps) {
        const bool divides = VIDEO_SAMPLE_RATE % fps == 0;
        const int frames = 600 * fps;  // ten minutes
        for (int frame = 0; frame < frames; frame += 1 + frame / 97) {
            const int64_t share = videoSampleAt(frame + 1, fps) - videoSampleAt(frame, fps);
            if (divides) {
                ASSERT_EQ(share, VIDEO_SAMPLE_RATE / fps) << fps << " fps";
            } else {
                ASSERT_LE(std::abs(share * fps - VIDEO_SAMPLE_RATE), fps) << fps << " fps";
            }
            // From the start the sound is within half a sample of the pictures.
            const double exact = static_cast<double>(frame) * VIDEO_SAMPLE_RATE / fps;
            ASSERT_LE(std::fabs(videoSampleAt(frame, fps) - exact), 0.5) << fps << " fps";
        }
    }
}

TEST(VideoClock, TheShowEndsAtTheFirstFrameThatFollowsTheEndCueTick)
{
    for (int fps = VIDEO_MIN_FPS; fps <= VIDEO_MAX_FPS; ++fps) {
        for (int tick = 1; tick < 400; tick += 7) {
            const int end = videoFrameAfterTick(tick, fps);
            ASSERT_GE(ticksAtFrame(end, fps), tick) << fps << " fps, tick " << tick;
            ASSERT_LT(ticksAtFrame(end - 1, fps), tick) << fps << " fps, tick " << tick;
        }
    }
    EXPECT_EQ(videoFrameAt(74.4, 30), 2232);
    EXPECT_EQ(videoFrameAt(0, 240), 0);
}

namespace {

// What a loop playing the video from its first frame has reached at each
// frame, drawing nothing: the flips drawFrame makes are made with
// flipPanelAt at the same show time.
struct ShowState {
    float showTime;
    int32_t panelSelect;
    float flash;
    std::vector<float> depths;
};

}  // namespace

static ShowState currentState()
{
    ShowState state = {showTime.load(), panelSelect, flashLevel.load(), {}};
    for (const Star& star : stars) {
        state.depths.push_back(star.z.load());
    }
    return state;
}

static void expectSameState(const ShowState& played, const ShowState& direct, const char* what,
                            int frame)
{
    EXPECT_EQ(played.showTime, direct.showTime) << what << ", frame " << frame;
    EXPECT_EQ(played.panelSelect, direct.panelSelect) << what << ", frame " << frame;
    EXPECT_EQ(played.flash, direct.flash) << what << ", frame " << frame;
    EXPECT_TRUE(played.depths == direct.depths) << what << ", frame " << frame;
}

TEST(VideoShow, AStartInTheMiddleIsTheStateOfPlayingFromTheBeginning)
{
    // A made-up flash: the level after tick n is n mod 254.
    std::vector<float> levels(4000);
    for (size_t n = 0; n < levels.size(); ++n) {
        levels[n] = static_cast<float>((n + 1) % 254);
    }
    const unsigned seed = 7;
    for (int fps : {24, 60, 144}) {
        // Far enough for the panel to flip several times (every 15.7 s of show).
        const int last = 60 * fps;
        std::vector<ShowState> played;
        startVideoShow(seed, fps, 0, levels.data(), static_cast<int>(levels.size()));
        for (int frame = 0; frame <= last; ++frame) {
            advanceVideoTo(frame);
            played.push_back(currentState());
            flipPanelAt(showTime.load());  // as drawFrame does
        }
        int flips = 0;
        for (int frame = 1; frame <= last; ++frame) {
            flips += played[frame].panelSelect != played[frame - 1].panelSelect;
        }
        EXPECT_GE(flips, 3) << fps << " fps";
        for (int frame : {0, 1, fps / 2 + 1, 17 * fps + 3, 31 * fps, last}) {
            startVideoShow(seed, fps, frame, levels.data(), static_cast<int>(levels.size()));
            expectSameState(played[frame], currentState(), "started there", frame);
        }
        if (fps == 60) {
            // The still tool's state at the same time is the 60 fps video's.
            for (int frame : {1, 61, 1000, last}) {
                const int ticks = ticksAtFrame(frame, 60);
                setShowStateAt({frame / 60.0, seed, ticks > 0 ? levels[ticks - 1] : 0.0f});
                expectSameState(played[frame], currentState(), "the still", frame);
            }
        }
    }
}
