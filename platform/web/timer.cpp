// The periodic timer of platform.h on the page's main thread: a browser
// timeout aimed at the next deadline runs every tick that is due, one after
// another, then aims at the next. Deadlines advance by exactly the period,
// so late wake-ups (a busy page, a hidden tab, whose timers the browser
// throttles to about once a second) delay ticks but never drop or shift
// them. Ticks never overlap: they run between frames on the one thread.
// A tick that runs late stands in for the one due at its deadline: the
// sound layer gives it the music's position at that deadline
// (webTickTimeMs), so a batch of late ticks still meets every cue, each on
// its own tick, as ticks on time would.
// Each animation frame also runs the ticks due before it draws (page.cpp):
// a browser busy drawing as fast as it can (frame-rate limits off) lets
// its timeouts wait a second or more, while frames still come.
#include "platform/platform.h"

#include <emscripten.h>

#include "platform/web/page.h"

// ------------------------------------------------------------------ state
static void (*tickCallback)();
static double periodMs;
static double nextDeadlineMs;
static bool timerRunning;
static int timerGeneration;     // a timeout of an older timer finds it changed
static double tickTimeMs = -1;  // the deadline of the tick running now; -1 outside ticks

// clang-format off
EM_JS(void, jsTimerAt, (double delayMs, int generation), {
    setTimeout(function() { Module._webTimerFire(generation); }, delayMs);
});

EM_JS(void, jsTickLate, (double lateMs), {
    var s = Module.weruleStats;
    s.ticks++;
    if (lateMs > s.tickLateMaxMs) s.tickLateMaxMs = lateMs;
    s.tickLateSumMs += lateMs;
});
// clang-format on

static void aimAtNextDeadline()
{
    double delay = nextDeadlineMs - webNowMs();
    jsTimerAt(delay > 0 ? delay : 0, timerGeneration);
}

double webTickTimeMs()
{
    return tickTimeMs;
}

void webRunDueTicks()
{
    while (timerRunning) {
        const double now = webNowMs();
        if (now < nextDeadlineMs) {
            break;
        }
        jsTickLate(now - nextDeadlineMs);
        tickTimeMs = nextDeadlineMs;
        nextDeadlineMs += periodMs;
        tickCallback();
        tickTimeMs = -1;
    }
}

extern "C" EMSCRIPTEN_KEEPALIVE void webTimerFire(int generation)
{
    if (!timerRunning || generation != timerGeneration) {
        return;
    }
    webRunDueTicks();
    if (timerRunning) {
        aimAtNextDeadline();
    }
}

bool platStartPeriodicTimer(int period, void (*callback)())
{
    if (period <= 0 || callback == nullptr) {
        return false;
    }
    tickCallback = callback;
    periodMs = period;
    nextDeadlineMs = webNowMs() + period;
    timerRunning = true;
    ++timerGeneration;
    aimAtNextDeadline();
    return true;
}

void webStopTimer()
{
    timerRunning = false;
    ++timerGeneration;
}
