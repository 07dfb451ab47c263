// The sound layer with no device at all: what the show sees when neither a
// real driver nor SDL's dummy one opens. Nothing here opens a device.
#include "assets/assets.h"
#include "platform/tools.h"

#include <gtest/gtest.h>

static const unsigned char NOT_A_MODULE[64] = {'I', 'M', 'P', 'M'};

TEST(SilentSound, ModuleLoadsButNeitherPlaysNorHasAPosition)
{
    EXPECT_EQ(platSoundLatencyUs(), -1);
    uint32_t music = platMusicLoad(assetMusicIt, assetMusicItSize, true);
    ASSERT_NE(music, 0u);
    EXPECT_FALSE(platSoundStart());
    EXPECT_FALSE(platMusicPlay(music, 0));
    // The all-ones value meets no cue.
    EXPECT_EQ(platMusicPosition(music), 0xFFFFFFFFu);
}

TEST(SilentSound, RefusesWhatIsNoModule)
{
    EXPECT_EQ(platMusicLoad(NOT_A_MODULE, sizeof NOT_A_MODULE, true), 0u);
    EXPECT_EQ(platMusicLoad(nullptr, 100, true), 0u);
    EXPECT_EQ(platMusicLoad(assetMusicIt, 0, true), 0u);
}

TEST(SilentSound, LoadingAgainReplacesTheModuleAndItsHandle)
{
    uint32_t first = platMusicLoad(assetMusicIt, assetMusicItSize, true);
    uint32_t second = platMusicLoad(assetMusicIt, assetMusicItSize, true);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    EXPECT_NE(first, second);
    EXPECT_FALSE(platMusicPlay(first, 0));
}
