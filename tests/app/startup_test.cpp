// The start-up sequence against the scripted platform: what starts in which
// order, and the star scatter drawn from the seed. No GL context is current,
// so the GL calls of the preparation do nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "app/startup.h"
#include "scene/mesh.h"
#include "scene/stars.h"
#include "show/cues.h"
#include "show/state.h"
#include "tests/app/fake_platform.h"

namespace {

struct StarPlace {
    float x, y, z, speed;
    int32_t angle;
};

}  // namespace

static std::vector<StarPlace> starField()
{
    std::vector<StarPlace> field;
    for (const Star& star : stars) {
        field.push_back({star.x, star.y, star.z.load(), star.speed, star.angle});
    }
    return field;
}

// The preparation's one heap block, kept by the intro for its whole run;
// each test that prepares again gives it back.
static void releaseNormals()
{
    free(sceneMesh.vertexNormals);
    sceneMesh.vertexNormals = nullptr;
}

static bool sameField(const std::vector<StarPlace>& a, const std::vector<StarPlace>& b)
{
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].x != b[i].x || a[i].y != b[i].y || a[i].z != b[i].z || a[i].speed != b[i].speed ||
            a[i].angle != b[i].angle) {
            return false;
        }
    }
    return a.size() == b.size();
}

TEST(StartUp, FontFirstThenTheMusicOutputThenTheTimerThenPlaybackFromTheStart)
{
    fakeReset();
    startShow();
    releaseNormals();
    const int font = fakeCallIndex("buildOutlineFont 0 255");
    const int init = fakeCallIndex("soundInit -1 44100");
    const int load = fakeCallIndex("musicLoad looping");
    const int start = fakeCallIndex("soundStart");
    const int timer = fakeCallIndex("startPeriodicTimer 20");
    const int play = fakeCallIndex("musicPlay");
    ASSERT_GE(font, 0);
    EXPECT_LT(font, init);
    EXPECT_LT(init, load);
    EXPECT_LT(load, start);
    EXPECT_LT(start, timer) << "the timer starts once the output runs";
    EXPECT_LT(timer, play) << "the timer runs before the music plays";
    ASSERT_GE(play, 0);
    EXPECT_EQ(fake.calls[play], "musicPlay 5 0") << "the loaded module, from order 0, row 0";
    EXPECT_EQ(fake.timerCallback, &cueTimerTick);
    EXPECT_EQ(musicHandle, 5u);
}

TEST(StartUp, SeedsTheGeneratorWithTheTimeBeforeScatteringTheStars)
{
    fakeReset();
    srand(12345);  // a generator state the scatter must not start from
    const time_t before = time(nullptr);
    startShow();
    const time_t after = time(nullptr);
    releaseNormals();
    const std::vector<StarPlace> shown = starField();

    bool matched = false;
    for (time_t seconds = before; seconds <= after && !matched; ++seconds) {
        srand(static_cast<unsigned>(seconds));
        scatterStars();
        matched = sameField(shown, starField());
    }
    EXPECT_TRUE(matched) << "the stars are not the scatter of the calendar time's seed";
}

TEST(StartUp, PreparationScattersTheStarsFromItsSeed)
{
    fakeReset();
    prepareShow(7);
    releaseNormals();
    const std::vector<StarPlace> seven = starField();
    srand(7);
    scatterStars();
    EXPECT_TRUE(sameField(seven, starField()));
    prepareShow(8);
    releaseNormals();
    EXPECT_FALSE(sameField(seven, starField()));
    EXPECT_EQ(fakeCallIndex("soundInit"), -1) << "preparing starts no music";
    EXPECT_EQ(fakeCallIndex("startPeriodicTimer"), -1) << "preparing starts no timer";
}
