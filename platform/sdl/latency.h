// Inside the platform layer: the output latency of a sound driver that SDL
// does not report, estimated from the driver's own reports (pulselatency.cpp
// asks PulseAudio), and the time a buffer's first frame is heard. The
// arithmetic here takes every time as an argument, so it runs against any
// clock.
#pragma once

#include <cstdint>

enum {
    LATENCY_SAMPLES = 32,      // reports kept
    LATENCY_SPAN_US = 500000,  // reports older than this are left out of the estimate
};

// The driver's recent reports of its latency.
struct LatencyWindow {
    int64_t atUs[LATENCY_SAMPLES];     // when each report came, microseconds of the caller's clock
    int64_t totalUs[LATENCY_SAMPLES];  // the stream's buffer plus the sink's latency, microseconds
    int count;                         // reports stored, up to LATENCY_SAMPLES
    int next;                          // slot the next report overwrites
};

// Stores a report taken at atUs: bufferUs queued for the stream in the
// server, sinkUs in the sink after it. Whoever owns the window.
void latencyAddReport(LatencyWindow* window, int64_t atUs, int64_t bufferUs, int64_t sinkUs);

// The latency of the frames of a callback: the greatest total of the
// reports within LATENCY_SPAN_US before nowUs. SDL calls back once the
// previous buffer is all written, when the queue holds the most; while it
// writes the next buffer piece by piece as the server asks, the queue
// drains between pieces. A report seldom falls exactly on that peak, so
// the estimate lies below it by the reports' phase resolution (under a
// millisecond with LATENCY_PERIOD_MS against SDL's 23.2 ms); a stale larger
// report makes it late, never early. -1 when no report is recent enough.
// Whoever owns the window.
int64_t latencyEstimateUs(const LatencyWindow* window, int64_t nowUs);

// When the first frame of a buffer handed to the driver at handedUs is
// heard: driverUs after it when the driver's latency is known (0 or more),
// otherwise bufferUs, the length of the buffer SDL asked for. Any thread.
int64_t latencyHeardAtUs(int64_t handedUs, int64_t driverUs, int64_t bufferUs);

// pulselatency.cpp. Starts a thread that, on a connection of its own to the
// PulseAudio server SDL plays through, reads this process's playback stream
// every LATENCY_PERIOD_MS and keeps latencyEstimateUs of its reports; false
// when no server answers. Main thread, once, after the stream is open.
enum { LATENCY_PERIOD_MS = 17 };  // not in step with the 23.2 ms of a 1024-frame buffer
bool pulseLatencyStart();
// The latest estimate in microseconds, -1 while there is none. Any thread.
int64_t pulseLatencyUs();
