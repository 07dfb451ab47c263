// The periodic timer of platform.h: one detached std::thread per timer that
// sleeps until each deadline on the steady clock and then calls back. Each
// deadline is the previous one plus exactly the period, so waking late never
// shifts the later ticks; a tick that runs long makes the next one come
// sooner, never overlap.
#include "platform/platform.h"

#include <chrono>
#include <thread>

// Timer thread: runs until the process ends. Touches nothing but its own
// locals and whatever the callback touches.
static void timerLoop(std::chrono::microseconds period, void (*callback)())
{
    auto deadline = std::chrono::steady_clock::now();
    for (;;) {
        deadline += period;
        std::this_thread::sleep_until(deadline);
        callback();
    }
}

bool platStartPeriodicTimer(int periodMs, void (*callback)())
{
    if (periodMs <= 0 || !callback)
        return false;
    std::thread thread(timerLoop, std::chrono::microseconds(static_cast<int64_t>(periodMs) * 1000),
                       callback);
    // Never joined: the timer lives as long as the process, which may end
    // while the thread sleeps or ticks.
    thread.detach();
    return true;
}
