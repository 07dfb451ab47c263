// A scripted stand-in for platform.h: it records every call in order, fails
// the step it is told to fail, answers message boxes as told and hands out
// scripted messages. The show's half (font, extensions, sound, timer) only
// records: nothing plays, ticks or draws, and no extension is offered.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// The step the fake reports as failed.
enum FakeStep {
    FAKE_NONE,
    FAKE_START_VIDEO,
    FAKE_DISPLAY_MODE,
    FAKE_CREATE_WINDOW,
    FAKE_GET_DRAWABLE,
    FAKE_CHOOSE_FORMAT,
    FAKE_SET_FORMAT,
    FAKE_CREATE_CONTEXT,
    FAKE_MAKE_CURRENT,
    FAKE_RELEASE_CURRENT,
    FAKE_DELETE_CONTEXT,
    FAKE_RELEASE_DRAWABLE,
    FAKE_DESTROY_WINDOW,
    FAKE_STOP_VIDEO,
};

struct FakeBox {
    std::string text;
    std::string caption;
    int buttons;
    int icon;
};

// A message handed out after emptyPollsBefore polls that found nothing.
// An entry with type PLAT_MSG_NONE hands out nothing but runs its action.
struct FakeScriptEntry {
    int emptyPollsBefore;
    PlatMessage message;
    void (*action)();  // run when the entry is reached; may be null
};

struct FakePlatform {
    std::vector<FakeStep> failingSteps;
    int boxAnswer = PLAT_ANSWER_YES;  // answer to a Yes/No box
    std::vector<std::string> calls;   // every call, in order
    std::vector<FakeBox> boxes;
    std::vector<FakeScriptEntry> script;
    size_t scriptPos = 0;
    int emptyPollsSinceLast = 0;
    int peekCalls = 0;
    int emptyPolls = 0;
    int swaps = 0;
    bool quitPosted = false;
    int quitCode = -1;
    std::vector<long> defaultHandled;         // types passed to default handling
    int timerPeriodMs = 0;                    // the periodic timer asked for
    void (*timerCallback)() = nullptr;        // never called by the fake
    PlatWindowProcedure procedure = nullptr;  // as given to platStartVideo
};
extern FakePlatform fake;

void fakeReset();
// Index of the first recorded call that starts with prefix, or -1.
int fakeCallIndex(const std::string& prefix);
