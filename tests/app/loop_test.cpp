// The polling main loop against the scripted platform, and the letterbox
// band arithmetic.

#include <gtest/gtest.h>

#include <cstring>

#include "app/loop.h"
#include "app/view.h"
#include "app/window.h"
#include "show/state.h"
#include "tests/app/fake_platform.h"

// The loop draws through drawFrame; here it only counts and may act.
static int framesDrawn;
static int frameLimit;  // after this many frames the test stops the loop
bool drawFrame()
{
    ++framesDrawn;
    if (framesDrawn >= frameLimit) {
        quitRequested.store(1);
    }
    return true;
}

static PlatMessage msg(int type, uint32_t wParam = 0, uint32_t lParam = 0)
{
    return PlatMessage{type, wParam, lParam};
}

namespace {

class MainLoop : public ::testing::Test {
  protected:
    void SetUp() override
    {
        fakeReset();
        fake.procedure = windowProc;  // as openWindow registers it
        windowActive = 1;
        memset(keyDown, 0, sizeof keyDown);
        quitRequested.store(0);
        framesDrawn = 0;
        frameLimit = 1000;
    }
};

}  // namespace

TEST_F(MainLoop, EscActsOnlyOnceTheQueueIsEmpty)
{
    // Esc arrives with two more messages behind it: each pass takes one.
    fake.script = {{0, msg(PLAT_MSG_KEYDOWN, PLAT_VK_ESCAPE), nullptr},
                   {0, msg(PLAT_MSG_OTHER), nullptr},
                   {0, msg(PLAT_MSG_OTHER), nullptr}};
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(fake.peekCalls, 4);
    EXPECT_EQ(framesDrawn, 0);
    EXPECT_EQ(quitRequested.load(), 1);
}

TEST_F(MainLoop, DrawsAndSwapsOnEveryEmptyActivePass)
{
    frameLimit = 5;
    fake.script = {{2, msg(PLAT_MSG_OTHER), nullptr}};
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(framesDrawn, 5);
    EXPECT_EQ(fake.swaps, 5) << "every drawn frame is swapped";
}

TEST_F(MainLoop, CloseRequestEndsWithZeroAfterTheQuitMessage)
{
    fake.script = {{3, msg(PLAT_MSG_CLOSE), nullptr}};
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(framesDrawn, 3);
    EXPECT_EQ(quitRequested.load(), 1);
}

TEST_F(MainLoop, QuitMessageCodeIsTheExitCode)
{
    fake.script = {{0, msg(PLAT_MSG_QUIT, 7), nullptr}};
    EXPECT_EQ(runMainLoop(), 7);
}

static void setQuitFromTimer()
{
    quitRequested.store(1);
}

TEST_F(MainLoop, MinimisedWindowHandlesMessagesButNeverDraws)
{
    // Minimised, Esc recorded, the loop spins on empty passes; the end cue
    // then arrives from the timer and ends the loop without a frame.
    fake.script = {{0, msg(PLAT_MSG_ACTIVATE, 1u << 16), nullptr},
                   {0, msg(PLAT_MSG_KEYDOWN, PLAT_VK_ESCAPE), nullptr},
                   {50, msg(PLAT_MSG_OTHER), nullptr},
                   {50, msg(PLAT_MSG_NONE), setQuitFromTimer}};
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(framesDrawn, 0);
    EXPECT_GE(fake.emptyPolls, 100);
    EXPECT_EQ(fake.scriptPos, fake.script.size()) << "every message was still taken";
}

TEST_F(MainLoop, EscHeldWhileMinimisedActsOnTheFirstEmptyPassAfterRestore)
{
    fake.script = {{0, msg(PLAT_MSG_ACTIVATE, 1u << 16), nullptr},
                   {0, msg(PLAT_MSG_KEYDOWN, PLAT_VK_ESCAPE), nullptr},
                   {20, msg(PLAT_MSG_ACTIVATE, 0), nullptr}};
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(framesDrawn, 0);
    EXPECT_EQ(fake.emptyPolls, 21) << "20 while minimised, then one that ends the show";
}

TEST_F(MainLoop, EscTappedWithinOneFrameEndsTheShowOnTheNextEmptyPass)
{
    // Press and release both queued while a frame drew: the table shows Esc
    // up again by the time the queue is empty.
    fake.script = {{3, msg(PLAT_MSG_KEYDOWN, PLAT_VK_ESCAPE), nullptr},
                   {0, msg(PLAT_MSG_KEYUP, PLAT_VK_ESCAPE), nullptr}};
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(keyDown[PLAT_VK_ESCAPE], 0);
    EXPECT_EQ(framesDrawn, 3) << "no frame after the tap";
    EXPECT_EQ(quitRequested.load(), 1);
}

TEST_F(MainLoop, EscTappedWhileMinimisedActsOnlyOnceRestored)
{
    fake.script = {{0, msg(PLAT_MSG_ACTIVATE, 1u << 16), nullptr},
                   {0, msg(PLAT_MSG_KEYDOWN, PLAT_VK_ESCAPE), nullptr},
                   {0, msg(PLAT_MSG_KEYUP, PLAT_VK_ESCAPE), nullptr},
                   {20, msg(PLAT_MSG_ACTIVATE, 0), nullptr}};
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(framesDrawn, 0);
    EXPECT_EQ(fake.emptyPolls, 21) << "20 while minimised, then one that ends the show";
}

TEST_F(MainLoop, OtherKeysTappedDoNotEndTheShow)
{
    frameLimit = 4;
    fake.script = {{1, msg(PLAT_MSG_KEYDOWN, 0x20), nullptr},
                   {0, msg(PLAT_MSG_KEYUP, 0x20), nullptr},
                   {0, msg(PLAT_MSG_KEYUP, PLAT_VK_ESCAPE), nullptr}};
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(framesDrawn, 4) << "ended by the test's frame limit only";
}

TEST_F(MainLoop, EndCueIsSeenAtTheTopOfTheNextPass)
{
    quitRequested.store(1);
    fake.script = {{0, msg(PLAT_MSG_OTHER), nullptr}};
    EXPECT_EQ(runMainLoop(), 0);
    EXPECT_EQ(fake.peekCalls, 0);
}

TEST(ViewBand, TwoThirdsOfTheHeightCentredAndTruncated)
{
    struct Case {
        int height, y, band;
    } cases[] = {{600, 100, 400},  {599, 99, 399}, {601, 100, 400}, {1024, 170, 682},
                 {1080, 180, 720}, {0, 0, 0},      {1, 0, 0},       {2, 0, 1}};
    for (const Case& c : cases) {
        ViewBand band = viewBandFor(c.height);
        EXPECT_EQ(band.y, c.y) << c.height;
        EXPECT_EQ(band.height, c.band) << c.height;
    }
    EXPECT_DOUBLE_EQ(viewBandFor(600).exactHeight, 400.0);
    EXPECT_DOUBLE_EQ(viewBandFor(0).exactHeight, 2.0 / 3.0) << "zero is taken as 1";
}
