// The stars shared between the tick and the frame: the timer thread moves
// them while the main thread draws them, as in the show. Run under
// ThreadSanitizer in the thread-sanitizer tree. No GL context is current
// here, so the GL calls of drawStars do nothing; the star reads are real.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "scene/stars.h"

TEST(StarsAcrossThreads, TickMovesWhileTheFrameDraws)
{
    srand(9);
    scatterStars();
    std::atomic<bool> ticking{true};
    std::thread timer([&ticking] {
        for (int tick = 0; tick < 400; ++tick) {
            moveStars();
        }
        ticking.store(false, std::memory_order_relaxed);
    });
    int frames = 0;
    while (ticking.load(std::memory_order_relaxed) || frames < 10) {
        drawStars();
        ++frames;
    }
    timer.join();
    // Every depth stayed on the path: within the wrap range.
    for (const Star& star : stars) {
        const float z = star.z.load(std::memory_order_relaxed);
        EXPECT_GE(z, -300.0f);
        EXPECT_LE(z, 300.0f);
    }
    EXPECT_GE(frames, 10);
}
