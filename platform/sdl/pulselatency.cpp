// The output latency of SDL's pulseaudio driver, which SDL 2 does not
// report: a thread of its own opens a second connection to the same server
// (introspection only, no stream), finds this process's playback stream
// among the server's sink inputs by its process id, and reads how long the
// server holds its audio (the stream's buffer plus the sink's latency)
// every LATENCY_PERIOD_MS. libpulse is loaded when the query starts, where
// it is installed (libpulse.so.0, which brings what it needs); the intro
// never links it, so it runs without it, and then never knows. Without
// libpulse's headers this file builds to a stub that never knows; so does
// a server that reports nothing (PipeWire's).
#include "platform/sdl/latency.h"

#include <atomic>

#if __has_include(<pulse/pulseaudio.h>)
#include <dlfcn.h>
#include <pulse/pulseaudio.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

// ---- state
// Written by the main thread before the latency thread starts, then read
// only: libpulse's functions, found in the loaded library.
static decltype(&pa_mainloop_new) pulseMainloopNew;
static decltype(&pa_mainloop_free) pulseMainloopFree;
static decltype(&pa_mainloop_get_api) pulseMainloopGetApi;
static decltype(&pa_mainloop_iterate) pulseMainloopIterate;
static decltype(&pa_context_new) pulseContextNew;
static decltype(&pa_context_connect) pulseContextConnect;
static decltype(&pa_context_get_state) pulseContextGetState;
static decltype(&pa_context_unref) pulseContextUnref;
static decltype(&pa_context_get_sink_input_info_list) pulseGetSinkInputs;
static decltype(&pa_operation_get_state) pulseOperationGetState;
static decltype(&pa_operation_unref) pulseOperationUnref;
static decltype(&pa_proplist_gets) pulseProplistGets;
static bool pulseLoaded;  // every one of them found
// Latency thread only:
static LatencyWindow pulseWindow;  // the stream's recent reports
static char pulsePid[16];          // this process's id as the server's property spells it
// Any thread:
static std::atomic<int64_t> pulseEstimateUs{-1};  // latest estimate, microseconds; -1 none
static std::atomic<bool> pulseStarted{false};     // the thread runs (at most one)

// Main thread: points *function at the library's symbol name; false when
// the library lacks it.
template <typename Function>
static bool pulseFind(void* library, const char* name, Function* function)
{
    void* symbol = dlsym(library, name);
    *function = reinterpret_cast<Function>(symbol);
    return symbol != nullptr;
}

// Main thread: loads libpulse and finds every function the query calls;
// false when it is not installed or lacks one. A loaded library stays
// loaded (SDL's driver may hold it too).
static bool pulseLoad()
{
    if (pulseLoaded)
        return true;
    void* library = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return false;
    pulseLoaded = pulseFind(library, "pa_mainloop_new", &pulseMainloopNew) &&
                  pulseFind(library, "pa_mainloop_free", &pulseMainloopFree) &&
                  pulseFind(library, "pa_mainloop_get_api", &pulseMainloopGetApi) &&
                  pulseFind(library, "pa_mainloop_iterate", &pulseMainloopIterate) &&
                  pulseFind(library, "pa_context_new", &pulseContextNew) &&
                  pulseFind(library, "pa_context_connect", &pulseContextConnect) &&
                  pulseFind(library, "pa_context_get_state", &pulseContextGetState) &&
                  pulseFind(library, "pa_context_unref", &pulseContextUnref) &&
                  pulseFind(library, "pa_context_get_sink_input_info_list", &pulseGetSinkInputs) &&
                  pulseFind(library, "pa_operation_get_state", &pulseOperationGetState) &&
                  pulseFind(library, "pa_operation_unref", &pulseOperationUnref) &&
                  pulseFind(library, "pa_proplist_gets", &pulseProplistGets);
    if (!pulseLoaded)
        dlclose(library);
    return pulseLoaded;
}

// Latency thread. Steady clock in microseconds, the sound layer's clock.
static int64_t pulseClockUs()
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

// Latency thread, inside pa_mainloop_iterate: one sink input of the list.
static void pulseOnSinkInput(pa_context*, const pa_sink_input_info* info, int eol, void*)
{
    if (eol || !info)
        return;
    const char* pid = pulseProplistGets(info->proplist, PA_PROP_APPLICATION_PROCESS_ID);
    if (!pid || strcmp(pid, pulsePid) != 0 || info->corked)
        return;
    // A stream that plays always waits for something; PipeWire's PulseAudio
    // interface reports 0 and 0 for every stream, which is no report.
    if (info->buffer_usec + info->sink_usec == 0)
        return;
    int64_t nowUs = pulseClockUs();
    latencyAddReport(&pulseWindow, nowUs, static_cast<int64_t>(info->buffer_usec),
                     static_cast<int64_t>(info->sink_usec));
    pulseEstimateUs.store(latencyEstimateUs(&pulseWindow, nowUs), std::memory_order_relaxed);
}

// Latency thread: true once the connection is ready, false when it fails.
static bool pulseConnected(pa_mainloop* loop, pa_context* context)
{
    for (;;) {
        pa_context_state_t state = pulseContextGetState(context);
        if (state == PA_CONTEXT_READY)
            return true;
        if (!PA_CONTEXT_IS_GOOD(state) || pulseMainloopIterate(loop, 1, nullptr) < 0)
            return false;
    }
}

// Latency thread: runs until the connection fails, then leaves the estimate
// unknown. Every wait is the main loop's own poll or the period's sleep.
static void pulseWatch(pa_mainloop* loop, pa_context* context)
{
    while (pulseConnected(loop, context)) {
        pa_operation* operation = pulseGetSinkInputs(context, pulseOnSinkInput, nullptr);
        if (!operation)
            break;
        while (pulseOperationGetState(operation) == PA_OPERATION_RUNNING)
            if (pulseMainloopIterate(loop, 1, nullptr) < 0)
                break;
        pulseOperationUnref(operation);
        std::this_thread::sleep_for(std::chrono::milliseconds(LATENCY_PERIOD_MS));
    }
    pulseEstimateUs.store(-1, std::memory_order_relaxed);
    pulseContextUnref(context);
    pulseMainloopFree(loop);
}

bool pulseLatencyStart()
{
    if (pulseStarted.load(std::memory_order_relaxed))
        return true;
    if (!pulseLoad())
        return false;
    snprintf(pulsePid, sizeof pulsePid, "%ld", static_cast<long>(getpid()));
    pa_mainloop* loop = pulseMainloopNew();
    if (!loop)
        return false;
    pa_context* context = pulseContextNew(pulseMainloopGetApi(loop), "werule latency");
    // The server SDL's driver found: the same defaults (PULSE_SERVER, the
    // user's runtime folder), no autospawn.
    if (!context || pulseContextConnect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        if (context)
            pulseContextUnref(context);
        pulseMainloopFree(loop);
        return false;
    }
    pulseStarted.store(true, std::memory_order_relaxed);
    // Never joined: it lives as long as the process or the connection.
    std::thread(pulseWatch, loop, context).detach();
    return true;
}

int64_t pulseLatencyUs()
{
    return pulseEstimateUs.load(std::memory_order_relaxed);
}

#else

bool pulseLatencyStart()
{
    return false;
}

int64_t pulseLatencyUs()
{
    return -1;
}

#endif
