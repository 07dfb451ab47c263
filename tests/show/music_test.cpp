// Music start-up against a recording stand-in for the five sound calls:
// what the show passes to each and in which order.
#include "assets/assets.h"
#include "platform/platform.h"
#include "show/music.h"
#include "show/state.h"

#include <gtest/gtest.h>

#include <string>

// ---- what the stand-in saw (the test's thread)
static std::string calls;  // the calls in order, one letter each: I L S P
static int initDevice, initFrequency;
static const void* loadData;
static size_t loadLength;
static bool loadLoop;
static uint32_t playMusicArg, playPosition;
static const uint32_t LOADED_HANDLE = 41;

bool platSoundInit(int device, int frequency)
{
    calls += 'I';
    initDevice = device;
    initFrequency = frequency;
    return true;
}
uint32_t platMusicLoad(const void* data, size_t length, bool loop)
{
    calls += 'L';
    loadData = data;
    loadLength = length;
    loadLoop = loop;
    return LOADED_HANDLE;
}
bool platSoundStart()
{
    calls += 'S';
    return true;
}
bool platMusicPlay(uint32_t music, uint32_t position)
{
    calls += 'P';
    playMusicArg = music;
    playPosition = position;
    return true;
}
uint32_t platMusicPosition(uint32_t)
{
    return 0xFFFFFFFFu;
}

TEST(Music, OpensTheDefaultDeviceAt44100AndLoadsTheEmbeddedModuleLooping)
{
    calls.clear();
    startMusicOutput();
    EXPECT_EQ(calls, "ILS");
    EXPECT_EQ(initDevice, PLAT_SOUND_DEFAULT_DEVICE);
    EXPECT_EQ(initFrequency, 44100);
    EXPECT_EQ(loadData, static_cast<const void*>(assetMusicIt));
    EXPECT_EQ(loadLength, static_cast<size_t>(assetMusicItSize));
    EXPECT_TRUE(loadLoop);
    EXPECT_EQ(musicHandle, LOADED_HANDLE) << "the handle is kept for the tick";
}

TEST(Music, PlaysTheLoadedModuleFromOrderZeroRowZero)
{
    calls.clear();
    musicHandle = LOADED_HANDLE;
    playMusic();
    EXPECT_EQ(calls, "P");
    EXPECT_EQ(playMusicArg, LOADED_HANDLE);
    EXPECT_EQ(playPosition, 0u);
}

TEST(Music, EmbeddedModuleIsAnImpulseTrackerModule)
{
    ASSERT_GE(assetMusicItSize, 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(assetMusicIt), 4), "IMPM");
}
