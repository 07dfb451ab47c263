// openWindow, closeWindow and windowProc against the scripted platform.

#include <gtest/gtest.h>

#include <cstring>

#include "app/window.h"
#include "show/state.h"
#include "tests/app/fake_platform.h"

static void resetShell()
{
    fakeReset();
    fullscreen = 1;
    windowActive = 1;
    memset(keyDown, 0, sizeof keyDown);
    quitRequested.store(0);
    videoStarted = windowCreated = drawableHeld = contextCreated = false;
}

namespace {

class OpenWindow : public ::testing::Test {
  protected:
    void SetUp() override
    {
        resetShell();
    }
};

}  // namespace

TEST_F(OpenWindow, FullscreenSuccessRunsEveryStepInOrder)
{
    ASSERT_TRUE(openWindow(":: We rule ::", 800, 600, 32, 1));
    std::vector<std::string> expected = {
        "startVideo",         "requestDisplayMode 800x600x32",
        "showCursor 0",       "createWindow :: We rule :: 800x600 fullscreen colour 32 depth 32",
        "getDrawable",        "choosePixelFormat",
        "setPixelFormat 24",  "createContext",
        "makeCurrent 1",      "showWindow",
        "disableScreenSaver", "drawableSize",
    };
    EXPECT_EQ(fake.calls, expected);
    EXPECT_TRUE(fake.boxes.empty());
    EXPECT_EQ(fullscreen, 1);
    EXPECT_EQ(fake.procedure, &windowProc) << "messages the system sends must reach windowProc";
}

TEST_F(OpenWindow, NoFullscreenModeAsksAndYesGivesAWindow)
{
    fake.failingSteps = {FAKE_DISPLAY_MODE};
    fake.boxAnswer = PLAT_ANSWER_YES;
    ASSERT_TRUE(openWindow(":: We rule ::", 800, 600, 32, 1));
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "Nie ma fulskrina. W oknie?");
    EXPECT_EQ(fake.boxes[0].caption, "");
    EXPECT_EQ(fake.boxes[0].buttons, PLAT_BUTTONS_YESNO);
    EXPECT_EQ(fake.boxes[0].icon, PLAT_ICON_EXCLAMATION);
    EXPECT_EQ(fullscreen, 0);
    EXPECT_EQ(fakeCallIndex("showCursor"), -1) << "the cursor stays visible in a window";
    EXPECT_GE(fakeCallIndex("createWindow :: We rule :: 800x600 windowed"), 0);
    // The display was never changed, so closing leaves it alone.
    closeWindow();
    EXPECT_EQ(fakeCallIndex("restoreDisplayMode"), -1);
}

TEST_F(OpenWindow, AnswerNoOrNoBoxAtAllEndsWithoutClosing)
{
    for (int answer : {PLAT_ANSWER_NO, PLAT_ANSWER_NONE}) {
        resetShell();
        fake.failingSteps = {FAKE_DISPLAY_MODE};
        fake.boxAnswer = answer;
        EXPECT_FALSE(openWindow(":: We rule ::", 800, 600, 32, 1));
        ASSERT_EQ(fake.boxes.size(), 2u);
        EXPECT_EQ(fake.boxes[1].text, "To ja znikam.");
        EXPECT_EQ(fake.boxes[1].caption, "");
        EXPECT_EQ(fake.boxes[1].buttons, PLAT_BUTTONS_OK);
        EXPECT_EQ(fake.boxes[1].icon, PLAT_ICON_STOP);
        EXPECT_EQ(fakeCallIndex("createWindow"), -1);
        EXPECT_EQ(fakeCallIndex("stopVideo"), -1) << "closeWindow must not run";
    }
}

TEST_F(OpenWindow, VideoThatWillNotStartFailsFirstWithoutClosing)
{
    fake.failingSteps = {FAKE_START_VIDEO};
    EXPECT_FALSE(openWindow(":: We rule ::", 800, 600, 32, 1));
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, "Failed To Register The Window Class.");
    EXPECT_EQ(fake.boxes[0].caption, "ERROR");
    EXPECT_EQ(fake.boxes[0].icon, PLAT_ICON_EXCLAMATION);
    EXPECT_EQ(fake.calls.size(), 2u) << "only the start and the box";
}

namespace {

struct LaterFailure {
    FakeStep step;
    const char* text;
    const char* caption;
};

class OpenWindowLaterFailure : public ::testing::TestWithParam<LaterFailure> {
  protected:
    void SetUp() override
    {
        resetShell();
    }
};

}  // namespace

TEST_P(OpenWindowLaterFailure, ClosesFirstThenTellsExactly)
{
    const LaterFailure& failure = GetParam();
    fake.failingSteps = {failure.step};
    EXPECT_FALSE(openWindow(":: We rule ::", 800, 600, 32, 1));
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(fake.boxes[0].text, failure.text);
    EXPECT_EQ(fake.boxes[0].caption, failure.caption);
    EXPECT_EQ(fake.boxes[0].buttons, PLAT_BUTTONS_OK);
    EXPECT_EQ(fake.boxes[0].icon, PLAT_ICON_EXCLAMATION);
    int restore = fakeCallIndex("restoreDisplayMode");
    int stop = fakeCallIndex("stopVideo");
    int box = fakeCallIndex("box ");
    ASSERT_GE(restore, 0) << "the changed display mode is given back";
    EXPECT_LT(restore, box);
    EXPECT_LT(stop, box);
    EXPECT_EQ(fakeCallIndex("showCursor 1") < box, true);
    EXPECT_EQ(fakeCallIndex("showWindow"), -1);
}

INSTANTIATE_TEST_SUITE_P(EachStep, OpenWindowLaterFailure,
                         ::testing::Values(LaterFailure{FAKE_CREATE_WINDOW, "Blad utworzenia okna.",
                                                        "Buond"},
                                           LaterFailure{FAKE_GET_DRAWABLE, "#1", "ERROR"},
                                           LaterFailure{FAKE_CHOOSE_FORMAT, "#2", "ERROR"},
                                           LaterFailure{FAKE_SET_FORMAT, "#3", "ERROR"},
                                           LaterFailure{FAKE_CREATE_CONTEXT, "#4", "ERROR"},
                                           LaterFailure{FAKE_MAKE_CURRENT, "#5", "ERROR"}));

TEST_F(OpenWindow, CloseReleasesOnlyWhatExistsAfterAFailure)
{
    fake.failingSteps = {FAKE_GET_DRAWABLE};
    EXPECT_FALSE(openWindow(":: We rule ::", 800, 600, 32, 1));
    EXPECT_GE(fakeCallIndex("destroyWindow"), 0);
    EXPECT_EQ(fakeCallIndex("releaseDrawable"), -1);
    EXPECT_EQ(fakeCallIndex("deleteContext"), -1);
}

namespace {

class CloseWindow : public ::testing::Test {
  protected:
    void SetUp() override
    {
        resetShell();
        ASSERT_TRUE(openWindow(":: We rule ::", 800, 600, 32, 1));
        fake.calls.clear();
    }
};

}  // namespace

TEST_F(CloseWindow, ReleasesEverythingInOrder)
{
    closeWindow();
    std::vector<std::string> expected = {
        "restoreDisplayMode", "showCursor 1",  "makeCurrent 0", "deleteContext",
        "releaseDrawable",    "destroyWindow", "stopVideo",
    };
    EXPECT_EQ(fake.calls, expected);
    EXPECT_TRUE(fake.boxes.empty());
}

TEST_F(CloseWindow, EachFailingReleaseIsToldAndTheRestGoesOn)
{
    fake.failingSteps = {FAKE_RELEASE_CURRENT, FAKE_DELETE_CONTEXT, FAKE_RELEASE_DRAWABLE,
                         FAKE_DESTROY_WINDOW, FAKE_STOP_VIDEO};
    closeWindow();
    std::vector<std::string> texts;
    for (const FakeBox& box : fake.boxes) {
        EXPECT_EQ(box.caption, "SHUTDOWN ERROR");
        EXPECT_EQ(box.icon, PLAT_ICON_INFORMATION);
        EXPECT_EQ(box.buttons, PLAT_BUTTONS_OK);
        texts.push_back(box.text);
    }
    std::vector<std::string> expected = {
        "Release Of DC And RC Failed.",   "Release Rendering Context Failed.",
        "Release Device Context Failed.", "Could Not Release hWnd.",
        "Could Not Unregister Class.",
    };
    EXPECT_EQ(texts, expected);
    EXPECT_GE(fakeCallIndex("stopVideo"), 0);
}

namespace {

class WindowProc : public ::testing::Test {
  protected:
    void SetUp() override
    {
        resetShell();
    }
    long send(int type, uint32_t wParam = 0, uint32_t lParam = 0)
    {
        PlatMessage message = {type, wParam, lParam};
        return windowProc(&message);
    }
};

}  // namespace

TEST_F(WindowProc, KeysAreRecordedFromDownToUp)
{
    send(PLAT_MSG_KEYDOWN, PLAT_VK_ESCAPE);
    EXPECT_EQ(keyDown[27], 1);
    send(PLAT_MSG_KEYUP, PLAT_VK_ESCAPE);
    EXPECT_EQ(keyDown[27], 0);
    // A code beyond the table is ignored rather than written past it.
    send(PLAT_MSG_KEYDOWN, 300);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(keyDown[i], 0) << i;
    }
}

TEST_F(WindowProc, AltKeysGoToDefaultHandlingNotTheKeyTable)
{
    send(PLAT_MSG_SYSKEYDOWN, PLAT_VK_ESCAPE);
    EXPECT_EQ(keyDown[27], 0);
    ASSERT_EQ(fake.defaultHandled.size(), 1u);
    EXPECT_EQ(fake.defaultHandled[0], PLAT_MSG_SYSKEYDOWN);
}

TEST_F(WindowProc, MinimiseAndRestoreSetActivity)
{
    send(PLAT_MSG_ACTIVATE, 1u << 16);
    EXPECT_EQ(windowActive, 0);
    send(PLAT_MSG_ACTIVATE, 0);
    EXPECT_EQ(windowActive, 1);
    // Losing activation without being minimised keeps the window drawing.
    send(PLAT_MSG_ACTIVATE, 1);
    EXPECT_EQ(windowActive, 1);
}

TEST_F(WindowProc, CloseRequestPostsQuitWithCodeZero)
{
    EXPECT_EQ(send(PLAT_MSG_CLOSE), 0);
    EXPECT_TRUE(fake.quitPosted);
    EXPECT_EQ(fake.quitCode, 0);
    EXPECT_EQ(fakeCallIndex("destroyWindow"), -1) << "the window stays until closeWindow";
}

TEST_F(WindowProc, ScreenSaverAndPowerDownAreRefusedOtherCommandsPassOn)
{
    send(PLAT_MSG_SYSCOMMAND, PLAT_SC_SCREENSAVE);
    send(PLAT_MSG_SYSCOMMAND, PLAT_SC_MONITORPOWER);
    EXPECT_TRUE(fake.defaultHandled.empty());
    send(PLAT_MSG_SYSCOMMAND, PLAT_SC_SCREENSAVE + 1);  // compared whole, not masked
    send(PLAT_MSG_OTHER);
    EXPECT_EQ(fake.defaultHandled.size(), 2u);
}
