// The periodic timer of platform.h over the multimedia timer: timeSetEvent
// calls back on the timer service's own thread; one timer's ticks never
// overlap. The timer is never killed; it ends with the process.
#define WIN32_LEAN_AND_MEAN
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>
// (after windows.h, whose types it uses)
#include <mmsystem.h>

#include <atomic>

#include "platform/platform.h"

// --- timer state ---------------------------------------------------------
// Set by the main thread before the timer starts, read by every tick.
static std::atomic<void (*)()> tickCallback{nullptr};

// The tick's requested accuracy, milliseconds.
static const UINT TIMER_RESOLUTION_MS = 10;

// Timer thread: the multimedia timer's callback. None of its arguments is
// read.
static void CALLBACK timerTick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    void (*callback)() = tickCallback.load(std::memory_order_relaxed);
    if (callback != nullptr) {
        callback();
    }
}

// Main thread.
bool platStartPeriodicTimer(int periodMs, void (*callback)())
{
    if (periodMs <= 0 || callback == nullptr) {
        return false;
    }
    tickCallback.store(callback, std::memory_order_relaxed);
    return timeSetEvent(static_cast<UINT>(periodMs), TIMER_RESOLUTION_MS, timerTick, 0,
                        TIME_PERIODIC) != 0;
}
