// The periodic timer: its period, its drift and that ticks never overlap.
// Each timer runs for the rest of the process, so each test starts its own
// and lets it fall idle once it has what it needs.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>

using Clock = std::chrono::steady_clock;

enum { TICKS = 200, PERIOD_MS = 20 };  // 4 seconds

namespace {

// One test's record of its timer's ticks, written by the timer thread.
struct TickLog {
    std::atomic<int> count{0};
    std::atomic<int> inside{0};        // ticks running right now
    std::atomic<int> overlaps{0};      // ticks that found another one running
    std::atomic<int64_t> atUs[TICKS];  // steady clock at the start of each tick
    int slowTick = -1;                 // this tick sleeps slowMs
    int slowMs = 0;
};

}  // namespace

static TickLog steadyLog;
static TickLog slowLog;

static void record(TickLog& log)
{
    int index = log.count.load(std::memory_order_relaxed);
    if (index >= TICKS)
        return;
    if (log.inside.fetch_add(1) != 0)
        log.overlaps.fetch_add(1);
    auto now = Clock::now().time_since_epoch();
    log.atUs[index].store(std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    if (index == log.slowTick)
        std::this_thread::sleep_for(std::chrono::milliseconds(log.slowMs));
    log.inside.fetch_sub(1);
    log.count.store(index + 1);
}

static void steadyTick()
{
    record(steadyLog);
}
static void slowTickCallback()
{
    record(slowLog);
}

static void waitFor(TickLog& log)
{
    auto until = Clock::now() + std::chrono::milliseconds(TICKS * PERIOD_MS * 2 + 2000);
    while (log.count.load() < TICKS && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TEST(PeriodicTimer, RefusesAPeriodOfZeroOrNoCallback)
{
    EXPECT_FALSE(platStartPeriodicTimer(0, steadyTick));
    EXPECT_FALSE(platStartPeriodicTimer(PERIOD_MS, nullptr));
}

TEST(PeriodicTimer, TicksEveryTwentyMillisecondsWithoutOverlap)
{
    ASSERT_TRUE(platStartPeriodicTimer(PERIOD_MS, steadyTick));
    waitFor(steadyLog);
    ASSERT_EQ(steadyLog.count.load(), TICKS);
    EXPECT_EQ(steadyLog.overlaps.load(), 0);

    double sum = 0, sumSquares = 0, shortest = 1e9, longest = 0, lateMost = 0;
    int64_t first = steadyLog.atUs[0].load();
    for (int i = 1; i < TICKS; i++) {
        double interval =
            static_cast<double>(steadyLog.atUs[i].load() - steadyLog.atUs[i - 1].load()) / 1000.0;
        sum += interval;
        sumSquares += interval * interval;
        shortest = std::fmin(shortest, interval);
        longest = std::fmax(longest, interval);
        double late =
            static_cast<double>(steadyLog.atUs[i].load() - first) / 1000.0 - i * PERIOD_MS;
        lateMost = std::fmax(lateMost, std::fabs(late));
    }
    double mean = sum / (TICKS - 1);
    double jitter = std::sqrt(sumSquares / (TICKS - 1) - mean * mean);
    printf("timer: %d intervals, mean %.4f ms, jitter (sd) %.4f ms, shortest %.3f ms, longest %.3f "
           "ms, "
           "farthest from the 20 ms grid %.3f ms\n",
           TICKS - 1, mean, jitter, shortest, longest, lateMost);
    EXPECT_NEAR(mean, 20.0, 1.0)
        << "loose: one late first or last wake-up on a busy machine moves it";
}

TEST(PeriodicTimer, LongTickNeitherOverlapsNorShiftsLaterDeadlines)
{
    slowLog.slowTick = 10;
    slowLog.slowMs = 50;  // two and a half periods
    ASSERT_TRUE(platStartPeriodicTimer(PERIOD_MS, slowTickCallback));
    waitFor(slowLog);
    ASSERT_EQ(slowLog.count.load(), TICKS);
    EXPECT_EQ(slowLog.overlaps.load(), 0);
    // Tick 10 ends 50 ms after it began; ticks 11 and 12 fell due meanwhile
    // and follow it without a wait. Later ticks are back on the grid of the
    // first: a drift would make every one of them late by a period or more,
    // so the least late of the last fifty tells (one late wake-up does not).
    int64_t first = slowLog.atUs[0].load();
    EXPECT_GE(slowLog.atUs[11].load() - slowLog.atUs[10].load(), 50000);
    EXPECT_LT(slowLog.atUs[12].load() - slowLog.atUs[10].load(), 50000 + PERIOD_MS * 1000);
    double leastLate = 1e9;
    for (int i = TICKS - 50; i < TICKS; i++)
        leastLate =
            std::fmin(leastLate,
                      static_cast<double>(slowLog.atUs[i].load() - first) / 1000.0 - i * PERIOD_MS);
    printf("after a 50 ms tick: the least late of the last 50 ticks is %.3f ms off the grid\n",
           leastLate);
    EXPECT_LT(std::fabs(leastLate), 10.0);
}
