// The music's clock (platform/musicclock.h) against simulated devices: a
// device that plays on time, buffers played late or early, a device that
// stalls or is lost, ticks that come late, a clock that jumps, no device at
// all, and the end of playback. The simulated module moves one row every
// ROW_FRAMES frames, 64 rows an order. Every answer must be a position that
// is heard (never ahead), never one before the last, and at most the next
// row after it.
#include "platform/musicclock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

enum {
    RATE = 44100,
    SUB = 128,          // frames a stamp
    BLOCK = 1024,       // frames a rendered block
    ROW_FRAMES = 3402,  // 77.1 ms
    ROWS = 64,
};
static const int64_t SECOND = 1000000;

static uint32_t positionAt(int64_t frame)
{
    const int64_t row = frame / ROW_FRAMES;
    return static_cast<uint32_t>(row / ROWS) | static_cast<uint32_t>((row % ROWS) << 16);
}

static int64_t rankOf(uint32_t position)
{
    return static_cast<int64_t>(position & 0xFFFFu) * ROWS + (position >> 16);
}

static int64_t usOf(int64_t frames)
{
    return frames * SECOND / RATE;
}

static int64_t framesOf(int64_t us)
{
    return us * RATE / SECOND;
}

namespace {
// The renderer's side: the next frame of the module to render.
struct Renderer {
    int64_t frame = 0;

    // Renders and stamps one block heard from startUs (or MUSIC_CLOCK_NEXT).
    void block(int64_t startUs)
    {
        uint32_t positions[BLOCK / SUB];
        for (int i = 0; i < BLOCK / SUB; i++)
            positions[i] = positionAt(frame + i * SUB);
        musicClockStamp(positions, SUB, BLOCK, startUs);
        frame += BLOCK;
    }
    // On the stand-in: renders until aheadFrames are rendered past its clock.
    void keepUp(int64_t steadyUs, int64_t aheadFrames)
    {
        while (musicClockFramesDue(steadyUs) > -aheadFrames)
            block(MUSIC_CLOCK_NEXT);
    }
};

// The caller's side: each answer against the one before it and against
// the frame heard when it was asked.
struct Listener {
    uint32_t last = 0;
    int answers = 0;
    int steps = 0;  // answers one row on from the one before

    uint32_t ask(int64_t steadyUs, int64_t deviceUs, int64_t heardFrame)
    {
        const uint32_t now = musicClockPosition(steadyUs, deviceUs);
        EXPECT_LE(rankOf(now), rankOf(positionAt(heardFrame)))
            << "ahead of frame " << heardFrame << " at " << steadyUs << " us";
        if (answers > 0) {
            EXPECT_GE(rankOf(now), rankOf(last)) << "back at " << steadyUs << " us";
            EXPECT_LE(rankOf(now), rankOf(last) + 1) << "a row skipped at " << steadyUs << " us";
            steps += rankOf(now) == rankOf(last) + 1;
        }
        last = now;
        answers++;
        return now;
    }
};
}  // namespace

// A device that plays every frame on time: each answer is the sub-block
// being heard, at most SUB frames behind, and every row comes in turn.
TEST(MusicClock, OnTimeDeviceAnswersTheSubBlockHeard)
{
    musicClockOpen(RATE, SECOND, SECOND);
    musicClockPlay(0, true, 0);
    Renderer renderer;
    Listener listener;
    EXPECT_EQ(musicClockPosition(0, 0), 0u) << "the rest position before anything is heard";
    for (int64_t t = 0; t < 10 * SECOND; t += 1000) {
        while (renderer.frame < framesOf(t) + 4 * BLOCK)
            renderer.block(usOf(renderer.frame));
        if (t % 20000 != 0)
            continue;
        const uint32_t now = listener.ask(t, t, framesOf(t));
        EXPECT_GE(rankOf(now), rankOf(positionAt(framesOf(t) - SUB - 1)));
        EXPECT_LE(musicClockTrailUs(), usOf(SUB) + 1);
    }
    EXPECT_EQ(listener.steps, static_cast<int>(framesOf(10 * SECOND - 20000) / ROW_FRAMES));
    EXPECT_FALSE(musicClockStandingIn());
    EXPECT_EQ(musicClockFramesDue(0), MUSIC_CLOCK_NONE);
}

// Blocks stamped by a latency estimate that jumps about, never short of
// when they are really heard but far over it at times (a sink that ran
// ahead drains, and the estimate falls by 200 ms at once), and a queue
// that runs dry (the blocks after it heard 300 ms late): the answers never
// run ahead, never go back and leave no row out.
TEST(MusicClock, BlocksHeardLateOrEarlyKeepTheOrder)
{
    musicClockOpen(RATE, SECOND, SECOND);
    musicClockPlay(0, true, 0);
    Renderer renderer;
    Listener listener;
    const int64_t overUs[] = {200000, 0, 60000, 5000, 30000};
    std::vector<int64_t> heardAt;  // when each block is really heard
    int64_t nextUs = 100000;
    for (int64_t t = 0; t < 8 * SECOND; t += 1000) {
        while (nextUs < t + 100000) {
            const size_t block = heardAt.size();
            if (block == 150)
                nextUs += 300000;  // dry for 300 ms
            heardAt.push_back(nextUs);
            renderer.block(nextUs + overUs[block / 40 % 5]);
            nextUs += usOf(BLOCK);
        }
        if (t % 20000 != 0)
            continue;
        auto after = std::upper_bound(heardAt.begin(), heardAt.end(), t);
        int64_t heardFrame = 0;
        if (after != heardAt.begin()) {
            const int64_t block = after - heardAt.begin() - 1;
            const int64_t into = framesOf(t - heardAt[block]);
            heardFrame = block * BLOCK + (into < BLOCK ? into : BLOCK - 1);
        }
        listener.ask(t, t, heardFrame);
    }
    EXPECT_GT(listener.steps, 90);
}

// A device whose clock stops (waveOut's frame stands still, after creeping
// on at a tenth of its pace for half a second): once it has stood still
// for the stall limit, the stand-in takes over from the frame heard when
// it last kept pace, at that moment, so the music keeps to real time; the
// rows missed meanwhile are answered one a tick, none left out.
TEST(MusicClock, StalledDeviceHandsOverInRealTimeWithoutSkippingARow)
{
    musicClockOpen(RATE, SECOND, SECOND);
    musicClockPlay(0, true, 0);
    Renderer renderer;
    Listener listener;
    const int64_t stallUs = 3 * SECOND;
    int64_t lostAtUs = -1;
    for (int64_t t = 0; t < 9 * SECOND; t += 1000) {
        const int64_t creptUs =
            t < stallUs ? 0 : (t < stallUs + 500000 ? t - stallUs : 500000) / 10;
        const int64_t deviceUs = usOf(framesOf((t < stallUs ? t : stallUs) + creptUs));
        if (musicClockStandingIn()) {
            renderer.keepUp(t, 16 * BLOCK);
        } else {
            while (renderer.frame < framesOf(t) + 16 * BLOCK)
                renderer.block(usOf(renderer.frame));
            if (musicClockWatch(t, deviceUs) == MUSIC_CLOCK_LOST)
                lostAtUs = t;
        }
        if (t % 20000 != 0)
            continue;
        const uint32_t now = listener.ask(t, deviceUs, framesOf(t));
        if (t > lostAtUs + 600000 && lostAtUs >= 0) {
            // Caught up: the stand-in's position keeps to real time.
            EXPECT_GE(rankOf(now), rankOf(positionAt(framesOf(t) - SUB - 1)));
        }
    }
    EXPECT_GE(lostAtUs, stallUs + SECOND + 500000);
    EXPECT_LT(lostAtUs, stallUs + SECOND + 502000);
    EXPECT_EQ(musicClockWatch(9 * SECOND, 0), MUSIC_CLOCK_LOST);
    EXPECT_EQ(listener.steps, static_cast<int>(framesOf(9 * SECOND - 20000) / ROW_FRAMES));
}

// SDL's way: the device goes away and the backend hands over itself, on
// a device time that is the steady clock. Its callbacks then come slower
// than real time (every 30 ms for 23 ms of frames): the frames due are
// rendered and stamped, so the position keeps to real time.
TEST(MusicClock, LostDeviceGoesOnOnTheSteadyClock)
{
    musicClockOpen(RATE, SECOND, SECOND);
    musicClockPlay(0, true, 0);
    Renderer renderer;
    Listener listener;
    const int64_t latencyUs = 40000, lossUs = 2 * SECOND;
    int64_t nextCallUs = 0;
    for (int64_t t = 0; t < 8 * SECOND; t += 1000) {
        if (t >= nextCallUs) {
            if (t < lossUs) {
                renderer.block(t + latencyUs);
                nextCallUs += usOf(BLOCK);
            } else {
                if (!musicClockStandingIn())
                    musicClockStandIn(t, t);
                const int64_t due = musicClockFramesDue(t);
                EXPECT_LT(due, RATE) << "never a second behind";
                renderer.keepUp(t, 0);
                nextCallUs += 30000;
            }
        }
        if (t % 20000 == 0) {
            // Until the loss, heard a latency after rendering; then the
            // stand-in hears what was rendered ahead on real time.
            const int64_t heard = framesOf(t - latencyUs);
            const uint32_t now = listener.ask(t, t, heard > 0 ? heard : 0);
            if (t > lossUs + 200000) {
                EXPECT_GE(rankOf(now), rankOf(positionAt(framesOf(t - latencyUs) - BLOCK - SUB)));
            }
        }
    }
    EXPECT_TRUE(musicClockStandingIn());
    EXPECT_GT(listener.steps, 90);
}

// Ticks that come late (the caller held up for half a second) and a device
// clock that jumps ahead by 2 s, then back by 1 s: the answers take the
// rows in between one at a time, and stand while the clock is behind them.
TEST(MusicClock, LateTicksAndJumpingClocksStepRowByRow)
{
    musicClockOpen(RATE, SECOND, SECOND);
    musicClockPlay(0, true, 0);
    Renderer renderer;
    Listener listener;
    int64_t jumpUs = 0, heardUs = 0;
    int stuck = 0;
    for (int64_t t = 0; t < 10 * SECOND; t += 1000) {
        if (t == 4 * SECOND)
            jumpUs = 2 * SECOND;
        if (t == 6 * SECOND)
            jumpUs = SECOND;
        while (usOf(renderer.frame) < t + jumpUs + 200000)
            renderer.block(usOf(renderer.frame));
        const bool late = t > SECOND && t < SECOND + 500000;
        if (t % 20000 != 0 || late)
            continue;
        const uint32_t before = listener.last;
        heardUs = heardUs > t + jumpUs ? heardUs : t + jumpUs;  // once heard, it stays heard
        const uint32_t now = listener.ask(t, t + jumpUs, framesOf(heardUs));
        if (t > 6 * SECOND && t < 6 * SECOND + 300000)
            stuck += now == before;
    }
    EXPECT_GT(stuck, 0) << "the position stands while the clock is back behind it";
    EXPECT_EQ(listener.steps, static_cast<int>(framesOf(11 * SECOND - 20000) / ROW_FRAMES));
}

// No device at all: the stand-in from the play on. A renderer held up for
// 300 ms: the stand-in waits at the end of what is rendered (it plays
// nothing that is not), then the position catches up row by row.
TEST(MusicClock, SilentStandInKeepsToTheSteadyClock)
{
    musicClockOpen(RATE, SECOND, SECOND);
    musicClockPlay(0, true, 5 * SECOND);
    musicClockStandIn(0, 5 * SECOND);
    EXPECT_TRUE(musicClockStandingIn());
    Renderer renderer;
    Listener listener;
    for (int64_t t = 5 * SECOND; t < 13 * SECOND; t += 1000) {
        const bool held = t > 8 * SECOND && t < 8 * SECOND + 300000;
        if (!held)
            renderer.keepUp(t, 2 * BLOCK);
        if (t % 20000 != 0)
            continue;
        const int64_t heard = framesOf(t - 5 * SECOND);
        const uint32_t now = listener.ask(t, MUSIC_CLOCK_UNKNOWN, heard);
        EXPECT_LE(rankOf(now), rankOf(positionAt(renderer.frame)));
        EXPECT_LE(musicClockTrailUs(), usOf(SUB) + 1) << "it plays nothing not rendered";
        if (!held && (t < 8 * SECOND || t > 8 * SECOND + 600000)) {
            EXPECT_GE(rankOf(now), rankOf(positionAt(heard - SUB - 1)));
        }
    }
    EXPECT_EQ(listener.steps, static_cast<int>(framesOf(8 * SECOND - 20000) / ROW_FRAMES));
}

// An audio context that never starts (its time never told): after the
// start limit from the play call the stand-in plays from the play call;
// the first answer is order 0, row 0.
TEST(MusicClock, DeviceThatNeverStartsPlaysFromThePlayCall)
{
    musicClockOpen(RATE, 3 * SECOND, SECOND);
    musicClockPlay(0, true, SECOND);
    Renderer renderer;
    Listener listener;
    int64_t lostAtUs = -1;
    for (int64_t t = SECOND; t < 8 * SECOND; t += 16000) {
        if (lostAtUs < 0 && musicClockWatch(t, MUSIC_CLOCK_UNKNOWN) == MUSIC_CLOCK_LOST)
            lostAtUs = t;
        if (lostAtUs < 0) {
            EXPECT_EQ(musicClockFramesDue(t), MUSIC_CLOCK_NONE);
            EXPECT_EQ(musicClockPosition(t, MUSIC_CLOCK_UNKNOWN), 0u);
            continue;
        }
        renderer.keepUp(t, 0);
        listener.ask(t, MUSIC_CLOCK_UNKNOWN, framesOf(t - SECOND));
        if (listener.answers == 1) {
            EXPECT_EQ(listener.last, 0u);
        }
    }
    EXPECT_GE(lostAtUs, 4 * SECOND);
    EXPECT_LT(lostAtUs, 4 * SECOND + 16000);
    EXPECT_GT(listener.steps, 60);
}

// The end of playback and what follows: a module that ends (its last
// blocks stamped with its last position) is answered there once heard;
// a rest answers its position and stops the stand-in; a play that drops
// what was queued answers its start until its first block is heard, and
// nothing of the play before; one that keeps it hears that first.
TEST(MusicClock, EndRestAndPlaysAgain)
{
    musicClockOpen(RATE, SECOND, SECOND);
    musicClockPlay(0, true, 0);
    musicClockStandIn(0, 0);
    uint32_t ended[BLOCK / SUB];
    for (auto& position : ended)
        position = 7u | (63u << 16);
    musicClockStamp(ended, SUB, BLOCK, MUSIC_CLOCK_NEXT);
    EXPECT_EQ(musicClockPosition(SECOND, MUSIC_CLOCK_UNKNOWN), 7u | (63u << 16));
    EXPECT_GT(musicClockFramesDue(SECOND), RATE - BLOCK - 1);

    musicClockRest(5u);
    EXPECT_EQ(musicClockPosition(2 * SECOND, MUSIC_CLOCK_UNKNOWN), 5u);
    EXPECT_EQ(musicClockFramesDue(2 * SECOND), MUSIC_CLOCK_NONE);

    musicClockOpen(RATE, SECOND, SECOND);
    Renderer renderer;
    musicClockPlay(0, true, 0);
    for (int i = 0; i < 40; i++)
        renderer.block(usOf(renderer.frame));
    EXPECT_EQ(musicClockPosition(0, usOf(10 * ROW_FRAMES)), 0u) << "from the first row heard";
    EXPECT_EQ(musicClockPosition(0, usOf(10 * ROW_FRAMES)), 1u << 16) << "one row at a time";
    musicClockPlay(3u | (10u << 16), true, 0);
    EXPECT_EQ(musicClockPosition(0, usOf(10 * ROW_FRAMES)), 3u | (10u << 16));
    const uint32_t fresh[1] = {3u | (10u << 16)};
    musicClockStamp(fresh, SUB, SUB, usOf(11 * ROW_FRAMES));
    EXPECT_EQ(musicClockPosition(0, usOf(11 * ROW_FRAMES)), 3u | (10u << 16));
    const uint32_t later[1] = {9u | (1u << 16)};
    musicClockPlay(later[0], false, 0);
    musicClockStamp(later, SUB, SUB, usOf(12 * ROW_FRAMES));
    EXPECT_EQ(musicClockPosition(0, usOf(11 * ROW_FRAMES) + 100), 3u | (10u << 16));
    EXPECT_EQ(musicClockPosition(0, usOf(12 * ROW_FRAMES) + 100), later[0]);
}

// One thread renders on the stand-in, four times faster than real time,
// while two others ask: each reader's answers only move on, and between
// them they see every row (the rows are handed out in turn to whoever
// asks) up to the last one rendered, which they reach once the renderer
// stops.
TEST(MusicClock, ReadersOnOtherThreadsSeeEveryRowInOrder)
{
    musicClockOpen(RATE, SECOND, SECOND);
    musicClockPlay(0, true, 0);
    musicClockStandIn(0, 0);
    enum { MOST = 20 * RATE / ROW_FRAMES + 2 };
    const auto start = std::chrono::steady_clock::now();
    auto steadyUs = [start]() {
        return 4 * std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::steady_clock::now() - start)
                       .count();
    };
    std::atomic<int64_t> highest{0};
    std::atomic<bool> done{false};
    auto reader = [&](int* back, bool* seen) {
        uint32_t last = musicClockPosition(0, MUSIC_CLOCK_UNKNOWN);
        while (!done.load(std::memory_order_relaxed)) {
            const uint32_t now = musicClockPosition(steadyUs(), MUSIC_CLOCK_UNKNOWN);
            *back += rankOf(now) < rankOf(last);
            const int64_t rank = rankOf(now) < MOST ? rankOf(now) : MOST - 1;
            seen[rank] = true;
            if (rank > highest.load(std::memory_order_relaxed))
                highest.store(rank, std::memory_order_relaxed);
            last = now;
        }
    };
    int back[2] = {0, 0};
    static bool seen[2][MOST];
    std::thread first(reader, &back[0], seen[0]);
    std::thread second(reader, &back[1], seen[1]);
    Renderer renderer;
    for (int64_t t = 0; t < 20 * SECOND; t = steadyUs())
        renderer.keepUp(t, BLOCK);
    const int64_t lastRank = rankOf(positionAt(renderer.frame - SUB));
    for (int waited = 0; waited < 1000 && highest.load() < lastRank; waited++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    done.store(true, std::memory_order_relaxed);
    first.join();
    second.join();
    EXPECT_EQ(back[0], 0);
    EXPECT_EQ(back[1], 0);
    EXPECT_EQ(highest.load(), lastRank) << "the readers did not reach the last row rendered";
    int missing = 0;
    for (int rank = 0; rank <= highest.load(); rank++)
        missing += !seen[0][rank] && !seen[1][rank];
    EXPECT_EQ(missing, 0) << "rows no reader was given, of " << highest.load();
}
