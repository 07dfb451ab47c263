// The cue timer's tick against a scripted music position.
#include "scene/stars.h"
#include "show/cues.h"
#include "show/state.h"
#include "tests/show/fake_position.h"

#include <gtest/gtest.h>

#include <vector>

static uint32_t packPosition(uint32_t order, uint32_t row)
{
    return order | (row << 16);
}

namespace {

class Tick : public ::testing::Test {
  protected:
    void SetUp() override
    {
        showTime.store(0.0f);
        flashLevel.store(0.0f);
        quitRequested.store(0);
        musicHandle = 1;
        uint32_t start = packPosition(0, 0);
        fakeScriptPositions(&start, 1);
    }
    void script(std::vector<uint32_t> positions)
    {
        fakeScriptPositions(positions.data(), static_cast<int>(positions.size()));
    }
    void tick(int count = 1)
    {
        for (int i = 0; i < count; i++)
            cueTimerTick();
    }
};

}  // namespace

TEST_F(Tick, FlashCueStoresTheDecayedCueLevel)
{
    script({0x0034000Fu});  // order 15, row 52
    tick();
    EXPECT_EQ(flashLevel.load(), 253.0f);
    EXPECT_EQ(quitRequested.load(), 0);
}

TEST_F(Tick, EndCueAsksToQuitAndStillDecaysAndMovesStars)
{
    stars[0].z.store(10.0f);
    stars[0].speed = 4.0f;
    flashLevel.store(100.0f);
    script({0x003E001Du});  // order 29, row 62
    tick();
    EXPECT_EQ(quitRequested.load(), 1);
    EXPECT_EQ(flashLevel.load(), 97.0f);
    EXPECT_FLOAT_EQ(stars[0].z.load(), 9.8f);
}

TEST_F(Tick, QuitStaysSetAfterTheMusicLeavesTheEndCue)
{
    script({packPosition(29, 62), packPosition(29, 63), packPosition(0, 0)});
    tick(3);
    EXPECT_EQ(quitRequested.load(), 1);
}

TEST_F(Tick, EveryFlashOrderFlashesOnBothRows)
{
    for (uint32_t order : {15u, 17u, 21u, 23u, 25u, 27u, 29u}) {
        for (uint32_t row : {52u, 56u}) {
            flashLevel.store(0.0f);
            script({packPosition(order, row)});
            tick();
            EXPECT_EQ(flashLevel.load(), 253.0f) << "order " << order << " row " << row;
        }
    }
    EXPECT_EQ(quitRequested.load(), 0);
}

TEST_F(Tick, NearMissesAndTheEndCueDoNotFlash)
{
    const uint32_t misses[] = {
        packPosition(19, 52), packPosition(16, 52), packPosition(15, 53), packPosition(29, 62),
        packPosition(14, 56), packPosition(29, 57), packPosition(52, 15),  // order and row swapped
        0xFFFFFFFFu,                                                       // order 65535, row 65535
    };
    for (uint32_t position : misses) {
        flashLevel.store(0.0f);
        script({position});
        tick();
        EXPECT_EQ(flashLevel.load(), 0.0f) << std::hex << position;
    }
}

TEST_F(Tick, AllOnesPositionMeetsNoCueAndOnlyDecays)
{
    flashLevel.store(50.0f);
    script({0xFFFFFFFFu});
    tick();
    EXPECT_EQ(flashLevel.load(), 47.0f);
    EXPECT_EQ(quitRequested.load(), 0);
}

TEST_F(Tick, LowLevelsDecayToZeroAndNeverBelow)
{
    const float before[] = {4.0f, 3.0f, 2.0f, 1.0f, 0.0f};
    const float after[] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    for (int i = 0; i < 5; i++) {
        flashLevel.store(before[i]);
        tick();
        EXPECT_EQ(flashLevel.load(), after[i]) << "from " << before[i];
    }
}

TEST_F(Tick, FlashHeldForFourTicksThenFadesOverEightyFiveTicks)
{
    std::vector<uint32_t> positions(4, packPosition(15, 52));
    positions.resize(4 + 100, packPosition(15, 53));
    script(positions);
    std::vector<float> levels;
    for (int i = 0; i < 4 + 100; i++) {
        tick();
        levels.push_back(flashLevel.load());
    }
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(levels[i], 253.0f) << "tick " << i;
    EXPECT_EQ(levels[4], 250.0f);
    EXPECT_EQ(levels[5], 247.0f);
    // 84 more ticks above 0 after the last cue tick, the 85th at 0.
    EXPECT_EQ(levels[3 + 83], 4.0f);
    EXPECT_EQ(levels[3 + 84], 1.0f);
    EXPECT_EQ(levels[3 + 85], 0.0f);
    for (int i = 4; i < 3 + 85; i++)
        EXPECT_GT(levels[i], 0.0f) << "tick " << i;
    for (int i = 4; i < static_cast<int>(levels.size()); i++)
        EXPECT_TRUE(levels[i] == 0.0f || levels[i] == levels[i - 1] - 3.0f) << "tick " << i;
}

TEST_F(Tick, SecondFlashOfAnOrderRestartsFromTheFadedLevel)
{
    std::vector<uint32_t> positions;
    positions.insert(positions.end(), 4, packPosition(17, 52));
    positions.insert(positions.end(), 11, packPosition(17, 54));
    positions.insert(positions.end(), 1, packPosition(17, 56));
    script(positions);
    tick(4 + 11);
    EXPECT_EQ(flashLevel.load(), 220.0f);
    tick();
    EXPECT_EQ(flashLevel.load(), 253.0f);
}

TEST_F(Tick, ShowClockIsASinglePrecisionSumOfSteps)
{
    tick(5);
    EXPECT_EQ(showTime.load(), 1.0f);
    tick(45);
    EXPECT_NEAR(showTime.load(), 9.999995, 5e-7);
    EXPECT_NE(showTime.load(), 10.0f);
    tick(450);
    EXPECT_NEAR(showTime.load(), 99.99962, 1e-5);
    tick(7200 - 500);
    EXPECT_NEAR(showTime.load(), 1439.9425, 1.3e-4);
}

TEST_F(Tick, AsksForThePositionOfTheLoadedMusicOncePerTick)
{
    musicHandle = 7;
    tick(3);
    EXPECT_EQ(fakePositionCalls(), 3);
    EXPECT_EQ(fakeLastHandle(), 7u);
}

TEST(CueFlashStep, ReportsTheEndCueOnlyAtOrder29Row62)
{
    bool endCue = true;
    EXPECT_EQ(cueFlashStep(0.0f, 0x0034000Fu, &endCue), 253.0f);
    EXPECT_FALSE(endCue);
    EXPECT_EQ(cueFlashStep(10.0f, 0x003E001Du, &endCue), 7.0f);
    EXPECT_TRUE(endCue);
    EXPECT_EQ(cueFlashStep(10.0f, 0x003E001Cu, &endCue), 7.0f);
    EXPECT_FALSE(endCue);
    EXPECT_EQ(cueFlashStep(10.0f, 0xFFFFFFFFu, &endCue), 7.0f);
    EXPECT_FALSE(endCue);
}
