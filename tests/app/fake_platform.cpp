#include "tests/app/fake_platform.h"

#include <algorithm>

FakePlatform fake;

void fakeReset()
{
    fake = FakePlatform();
}

int fakeCallIndex(const std::string& prefix)
{
    for (size_t i = 0; i < fake.calls.size(); ++i) {
        if (fake.calls[i].rfind(prefix, 0) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

static bool step(FakeStep which, const std::string& call)
{
    fake.calls.push_back(call);
    return std::find(fake.failingSteps.begin(), fake.failingSteps.end(), which) ==
           fake.failingSteps.end();
}

bool platStartVideo(PlatWindowProcedure procedure)
{
    fake.procedure = procedure;
    return step(FAKE_START_VIDEO, "startVideo");
}
bool platStopVideo()
{
    return step(FAKE_STOP_VIDEO, "stopVideo");
}
bool platRequestDisplayMode(int width, int height, int bits)
{
    return step(FAKE_DISPLAY_MODE, "requestDisplayMode " + std::to_string(width) + "x" +
                                       std::to_string(height) + "x" + std::to_string(bits));
}
void platRestoreDisplayMode()
{
    fake.calls.push_back("restoreDisplayMode");
}
void platShowCursor(bool visible)
{
    fake.calls.push_back(visible ? "showCursor 1" : "showCursor 0");
}
bool platCreateWindow(const char* title, int width, int height, bool fullscreen, int colourBits,
                      int depthBits)
{
    return step(FAKE_CREATE_WINDOW, std::string("createWindow ") + title + " " +
                                        std::to_string(width) + "x" + std::to_string(height) +
                                        (fullscreen ? " fullscreen" : " windowed") + " colour " +
                                        std::to_string(colourBits) + " depth " +
                                        std::to_string(depthBits));
}
bool platDestroyWindow()
{
    return step(FAKE_DESTROY_WINDOW, "destroyWindow");
}
bool platGetDrawable()
{
    return step(FAKE_GET_DRAWABLE, "getDrawable");
}
bool platReleaseDrawable()
{
    return step(FAKE_RELEASE_DRAWABLE, "releaseDrawable");
}
int platChoosePixelFormat()
{
    return step(FAKE_CHOOSE_FORMAT, "choosePixelFormat") ? 24 : 0;
}
bool platSetPixelFormat(int format)
{
    return step(FAKE_SET_FORMAT, "setPixelFormat " + std::to_string(format));
}
bool platCreateContext()
{
    return step(FAKE_CREATE_CONTEXT, "createContext");
}
bool platDeleteContext()
{
    return step(FAKE_DELETE_CONTEXT, "deleteContext");
}
bool platMakeCurrent(bool current)
{
    return current ? step(FAKE_MAKE_CURRENT, "makeCurrent 1")
                   : step(FAKE_RELEASE_CURRENT, "makeCurrent 0");
}
void platShowWindow()
{
    fake.calls.push_back("showWindow");
}
void platSwapBuffers()
{
    ++fake.swaps;
}
void platDrawableSize(int* width, int* height)
{
    fake.calls.push_back("drawableSize");
    (void)width;
    (void)height;
}
void platDisableScreenSaver()
{
    fake.calls.push_back("disableScreenSaver");
}

bool platPeekMessage(PlatMessage* message)
{
    ++fake.peekCalls;
    while (fake.scriptPos < fake.script.size()) {
        FakeScriptEntry& entry = fake.script[fake.scriptPos];
        if (fake.emptyPollsSinceLast < entry.emptyPollsBefore) {
            break;
        }
        ++fake.scriptPos;
        fake.emptyPollsSinceLast = 0;
        if (entry.action != nullptr) {
            entry.action();
        }
        if (entry.message.type != PLAT_MSG_NONE) {
            *message = entry.message;
            return true;
        }
    }
    if (fake.quitPosted) {
        fake.quitPosted = false;
        *message = {PLAT_MSG_QUIT, static_cast<uint32_t>(fake.quitCode), 0};
        return true;
    }
    ++fake.emptyPolls;
    ++fake.emptyPollsSinceLast;
    return false;
}

long platDispatchMessage(const PlatMessage* message)
{
    return fake.procedure != nullptr ? fake.procedure(message) : 0;
}

void platPostQuitMessage(int exitCode)
{
    fake.quitPosted = true;
    fake.quitCode = exitCode;
}

long platDefaultHandling(const PlatMessage* message)
{
    fake.defaultHandled.push_back(message->type);
    return 0;
}

int platMessageBox(const char* text, const char* caption, int buttons, int icon)
{
    fake.calls.push_back(std::string("box ") + text);
    fake.boxes.push_back({text, caption, buttons, icon});
    return buttons == PLAT_BUTTONS_YESNO ? fake.boxAnswer : PLAT_ANSWER_OK;
}

// ---------------------------------------------------------- the show's half

bool platHasExtension(const char* name)
{
    fake.calls.push_back(std::string("hasExtension ") + name);
    return false;
}
void* platGetProcAddress(const char* name)
{
    fake.calls.push_back(std::string("getProcAddress ") + name);
    return nullptr;
}

bool platBuildOutlineFont(const unsigned char*, size_t, int first, int count, unsigned,
                          PlatGlyphMetrics*)
{
    fake.calls.push_back("buildOutlineFont " + std::to_string(first) + " " + std::to_string(count));
    return true;
}

static const uint32_t FAKE_MUSIC_HANDLE = 5;

bool platSoundInit(int device, int frequency)
{
    fake.calls.push_back("soundInit " + std::to_string(device) + " " + std::to_string(frequency));
    return true;
}
uint32_t platMusicLoad(const void*, size_t, bool loop)
{
    fake.calls.push_back(std::string("musicLoad ") + (loop ? "looping" : "once"));
    return FAKE_MUSIC_HANDLE;
}
bool platSoundStart()
{
    fake.calls.push_back("soundStart");
    return true;
}
bool platMusicPlay(uint32_t music, uint32_t position)
{
    fake.calls.push_back("musicPlay " + std::to_string(music) + " " + std::to_string(position));
    return true;
}
uint32_t platMusicPosition(uint32_t)
{
    return 0xFFFFFFFFu;
}

bool platStartPeriodicTimer(int periodMs, void (*callback)())
{
    fake.calls.push_back("startPeriodicTimer " + std::to_string(periodMs));
    fake.timerPeriodMs = periodMs;
    fake.timerCallback = callback;
    return true;
}
