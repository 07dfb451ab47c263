// The sound layer's latency arithmetic (platform/sdl/latency.h) against a
// scripted clock: a PulseAudio-like stream written piece by piece, reported
// at a period of its own.
#include "platform/sdl/latency.h"

#include <gtest/gtest.h>

static const int64_t BUFFER_US = 23220;  // 1024 frames at 44.1 kHz, one callback
static const int64_t PIECE_US = 5805;    // the server asks for a quarter buffer at a time
static const int64_t PEAK_US = 19000;    // queued when a buffer is all written

// The time from handing a frame over at nowUs to its being heard, for a
// driver that calls back at 0, BUFFER_US, 2 BUFFER_US, ... once the
// previous buffer is all written, and writes each buffer in four pieces:
// the queue is PEAK_US at each piece and drains in between.
static int64_t waitAt(int64_t nowUs)
{
    return PEAK_US - nowUs % PIECE_US;
}

TEST(Latency, EstimateIsTheQueueAtACallbackAndStaleReportsOnlyDelay)
{
    LatencyWindow window = {};
    // Reports every LATENCY_PERIOD_MS, not in step with the pieces, split
    // between the stream's buffer and a sink whose own latency runs 0 to
    // 2 ms. For the first 100 ms the server holds 200 ms (its pre-buffer).
    for (int64_t atUs = 777; atUs < 2000000; atUs += LATENCY_PERIOD_MS * 1000) {
        int64_t sinkUs = atUs % 2000;
        int64_t totalUs = atUs < 100000 ? 200000 : waitAt(atUs);
        latencyAddReport(&window, atUs, totalUs - sinkUs, sinkUs);
        int64_t estimate = latencyEstimateUs(&window, atUs);
        if (atUs < 100000 + LATENCY_SPAN_US - LATENCY_PERIOD_MS * 1000) {
            ASSERT_EQ(estimate, 200000) << "at " << atUs << " us";
        }
        if (atUs < 100000 + LATENCY_SPAN_US)
            continue;
        // The callback's frames are heard PEAK_US after it.
        ASSERT_LE(estimate, PEAK_US) << "at " << atUs << " us";
        ASSERT_GE(estimate, PEAK_US - 1000) << "at " << atUs << " us";
    }
    EXPECT_EQ(latencyHeardAtUs(1000000, latencyEstimateUs(&window, 2000000), BUFFER_US),
              1000000 + latencyEstimateUs(&window, 2000000));
}

TEST(Latency, OldReportsLeaveTheEstimateAndNoneLeavesItToTheBuffer)
{
    LatencyWindow window = {};
    EXPECT_EQ(latencyEstimateUs(&window, 0), -1);
    // The latency falls from 40 ms to 5 ms at 1 s: the large reports count
    // until LATENCY_SPAN_US after the last of them, then no more.
    for (int64_t atUs = 0; atUs < 1000000; atUs += 20000)
        latencyAddReport(&window, atUs, 38000, 2000);
    for (int64_t atUs = 1000000; atUs < 1200000; atUs += 20000)
        latencyAddReport(&window, atUs, 4000, 1000);
    EXPECT_EQ(latencyEstimateUs(&window, 1200000), 40000);
    EXPECT_EQ(latencyEstimateUs(&window, 980000 + LATENCY_SPAN_US + 1), 5000);
    // More reports than the window holds: the oldest ones go.
    for (int64_t atUs = 1200000; atUs < 1200000 + LATENCY_SAMPLES * 1000; atUs += 1000)
        latencyAddReport(&window, atUs, 2000, 1000);
    EXPECT_EQ(latencyEstimateUs(&window, 1200000 + LATENCY_SAMPLES * 1000), 3000);
    EXPECT_EQ(latencyEstimateUs(&window, 99000000), -1);
    // A report from the caller's future is not yet one.
    LatencyWindow early = {};
    latencyAddReport(&early, 1000, 4000, 1000);
    latencyAddReport(&early, 2000, 38000, 2000);
    EXPECT_EQ(latencyEstimateUs(&early, 1500), 5000);

    // Unknown (-1): the buffer stands in; a known latency of 0 is used as is.
    EXPECT_EQ(latencyHeardAtUs(1000, -1, BUFFER_US), 1000 + BUFFER_US);
    EXPECT_EQ(latencyHeardAtUs(1000, 0, BUFFER_US), 1000);
    EXPECT_EQ(latencyHeardAtUs(1000, 17000, BUFFER_US), 18000);
}
