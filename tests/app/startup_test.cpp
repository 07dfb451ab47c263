// The start-up sequence against the scripted platform: what starts in which
// order, and the star scatter drawn from the seed. No GL context is current,
// so the GL calls of the preparation do nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <vector>

#include "app/extensions.h"
#include "app/loop.h"
#include "app/startup.h"
#include "app/window.h"
#include "scene/frame.h"
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
    resetMeshState();  // gives the normals back
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
    resetMeshState();  // gives the normals back
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
    resetMeshState();  // gives the normals back
    const std::vector<StarPlace> seven = starField();
    srand(7);
    scatterStars();
    EXPECT_TRUE(sameField(seven, starField()));
    prepareShow(8);
    resetMeshState();  // gives the normals back
    EXPECT_FALSE(sameField(seven, starField()));
    EXPECT_EQ(fakeCallIndex("soundInit"), -1) << "preparing starts no music";
    EXPECT_EQ(fakeCallIndex("startPeriodicTimer"), -1) << "preparing starts no timer";
}

static PlatMessage msg(int type, uint32_t wParam = 0)
{
    return PlatMessage{type, wParam, 0};
}

// Runs loop passes until the loop ends or `passes` have run; returns the
// passes that asked for more.
static int runPasses(int passes)
{
    int exitCode = -1;
    int going = 0;
    while (going < passes && runLoopPass(&exitCode)) {
        ++going;
    }
    return going;
}

// The page plays every show in one process: a show that ended leaves the
// window windowed, Esc held, the end asked for, the clock in the middle of
// the show, the panel flipped and the extension table bound, and the next
// one must start as the first did.
TEST(NewShow, ASecondShowInTheSameProcessStartsAsTheFirstDid)
{
    fakeReset();
    fake.failingSteps = {FAKE_DISPLAY_MODE};  // no fullscreen: the window is taken
    resetShow();
    ASSERT_TRUE(openWindow(":: We rule ::", 800, 600, 32, fullscreen));
    startShow();
    beginMainLoop();
    EXPECT_EQ(runPasses(3), 3);
    const int32_t firstPanel = panelSelect;
    extensionTable[EXT_MULTI_TEX_COORD_3FV_ARB] = reinterpret_cast<ExtensionProc>(&abort);
    for (int tick = 0; tick < 3600; ++tick) {  // 72 s of the show
        cueTimerTick();
    }
    fake.script = {{0, msg(PLAT_MSG_ACTIVATE, 1u << 16), nullptr},
                   {0, msg(PLAT_MSG_ACTIVATE, 0), nullptr},
                   {0, msg(PLAT_MSG_KEYDOWN, PLAT_VK_ESCAPE), nullptr}};
    EXPECT_EQ(runPasses(100), 0) << "Esc ends the first show";
    closeWindow();
    ASSERT_EQ(fullscreen, 0);
    ASSERT_EQ(keyDown[PLAT_VK_ESCAPE], 1);

    fakeReset();
    resetShow();
    ASSERT_TRUE(openWindow(":: We rule ::", 800, 600, 32, fullscreen));
    EXPECT_GE(fakeCallIndex("requestDisplayMode 800x600"), 0) << "fullscreen is asked for again";
    EXPECT_TRUE(fake.boxes.empty());
    startShow();
    EXPECT_EQ(showTime.load(), 0.0f);
    EXPECT_EQ(flashLevel.load(), 0.0f);
    beginMainLoop();
    EXPECT_EQ(runPasses(3), 3) << "the second show draws instead of ending at once";
    EXPECT_EQ(fake.swaps, 3);
    EXPECT_EQ(panelSelect, firstPanel) << "its panel flips as the first show's did";
    EXPECT_EQ(extensionTable[EXT_MULTI_TEX_COORD_3FV_ARB],
              extensionStubs[EXT_MULTI_TEX_COORD_3FV_ARB])
        << "the entry is looked up afresh in the new context";
    EXPECT_NE(sceneMesh.vertexNormals, nullptr);
    closeWindow();
    resetShow();  // gives the normals back: the sanitizer tree's copy checks for leaks
}
