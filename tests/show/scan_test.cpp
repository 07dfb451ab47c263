// The embedded module as libopenmpt renders it offline at 44,100 Hz: where
// the cues fall, that each is seen by the 20 ms ticks, the loop back to the
// start, and the flash the replay gives the capture tool.
#include "assets/assets.h"
#include "platform/tools.h"
#include "show/replay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

enum { FREQUENCY = 44100, STEP_MS = 20, SCAN_TICKS = 150 * 50 };

static uint32_t packPosition(uint32_t order, uint32_t row)
{
    return order | (row << 16);
}

namespace {

class ModuleScan : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        positions.resize(SCAN_TICKS);
        scanned = platMusicScanPositions(assetMusicIt, assetMusicItSize, FREQUENCY, STEP_MS,
                                         positions.data(), SCAN_TICKS);
    }
    // Seconds after the start at which the tick first sees position, or -1.
    static double firstSeen(uint32_t position)
    {
        for (int k = 0; k < SCAN_TICKS; k++)
            if (positions[k] == position)
                return (k + 1) * STEP_MS / 1000.0;
        return -1;
    }
    static int ticksOn(uint32_t position)
    {
        int count = 0;
        for (uint32_t p : positions)
            count += p == position;
        return count;
    }
    static bool scanned;
    static std::vector<uint32_t> positions;
};

}  // namespace

bool ModuleScan::scanned;
std::vector<uint32_t> ModuleScan::positions;

TEST_F(ModuleScan, ReachesTheCuesAtTheirMeasuredTimes)
{
    ASSERT_TRUE(scanned);
    double firstFlash = firstSeen(packPosition(15, 52));
    double end = firstSeen(packPosition(29, 62));
    printf("order 15 row 52 first seen at %.2f s; order 29 row 62 at %.2f s\n", firstFlash, end);
    EXPECT_NEAR(firstFlash, 74.3, 0.15);
    EXPECT_NEAR(end, 144.15, 0.15);
}

TEST_F(ModuleScan, EveryCueRowIsSeenByThreeOrFourTicks)
{
    ASSERT_TRUE(scanned);
    for (uint32_t order : {15u, 17u, 21u, 23u, 25u, 27u, 29u}) {
        for (uint32_t row : {52u, 56u}) {
            int ticks = ticksOn(packPosition(order, row));
            EXPECT_GE(ticks, 3) << "order " << order << " row " << row;
            EXPECT_LE(ticks, 4) << "order " << order << " row " << row;
            printf("cue order %u row %u at %.2f s\n", order, row,
                   firstSeen(packPosition(order, row)));
        }
    }
    EXPECT_GE(ticksOn(packPosition(29, 62)), 3);
}

TEST_F(ModuleScan, PlaysTheOrdersInTurnThenLoopsToOrderZero)
{
    ASSERT_TRUE(scanned);
    int lastOrderTick = -1;
    for (int k = 1; k < SCAN_TICKS; k++) {
        uint32_t order = positions[k] & 0xFFFF, before = positions[k - 1] & 0xFFFF;
        if (order == before)
            continue;
        if (order == 0 && before == 29) {
            lastOrderTick = k;
            break;
        }
        EXPECT_EQ(order, before + 1) << "tick " << k;
    }
    ASSERT_GT(lastOrderTick, 0) << "never looped back to order 0";
    double loopAt = (lastOrderTick + 1) * STEP_MS / 1000.0;
    printf("loops back to order 0 at %.2f s\n", loopAt);
    EXPECT_GT(loopAt, firstSeen(packPosition(29, 62)));
    EXPECT_EQ(positions[lastOrderTick] >> 16, 0u);
}

TEST(Replay, FlashRisesAtTheFirstCueAndTheEndCueComesBy145Seconds)
{
    float level = -1;
    bool endSeen = true;
    ASSERT_TRUE(replayCueTicks(73 * 50, &level, &endSeen));
    EXPECT_EQ(level, 0.0f);
    EXPECT_FALSE(endSeen);
    // 74.4 s: a few ticks after order 15 row 52.
    ASSERT_TRUE(replayCueTicks(3720, &level, &endSeen));
    printf("flash at 74.4 s: %.0f\n", level);
    EXPECT_GT(level, 200.0f);
    EXPECT_LE(level, 253.0f);
    EXPECT_FALSE(endSeen);
    ASSERT_TRUE(replayCueTicks(145 * 50, &level, &endSeen));
    EXPECT_TRUE(endSeen);
    ASSERT_TRUE(replayCueTicks(0, &level, &endSeen));
    EXPECT_EQ(level, 0.0f);
}

TEST(Scan, RefusesWhatIsNoModule)
{
    const unsigned char bytes[64] = {'I', 'M', 'P', 'M'};
    uint32_t position = 0;
    EXPECT_FALSE(platMusicScanPositions(bytes, sizeof bytes, FREQUENCY, STEP_MS, &position, 1));
    EXPECT_FALSE(platMusicScanPositions(assetMusicIt, assetMusicItSize, 0, STEP_MS, &position, 1));
}
