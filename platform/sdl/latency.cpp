// The latency arithmetic of latency.h.
#include "platform/sdl/latency.h"

void latencyAddReport(LatencyWindow* window, int64_t atUs, int64_t bufferUs, int64_t sinkUs)
{
    window->atUs[window->next] = atUs;
    window->totalUs[window->next] = bufferUs + sinkUs;
    window->next = (window->next + 1) % LATENCY_SAMPLES;
    if (window->count < LATENCY_SAMPLES)
        window->count++;
}

int64_t latencyEstimateUs(const LatencyWindow* window, int64_t nowUs)
{
    int64_t greatest = -1;
    for (int i = 0; i < window->count; i++) {
        int64_t age = nowUs - window->atUs[i];
        if (age < 0 || age > LATENCY_SPAN_US)
            continue;
        if (window->totalUs[i] > greatest)
            greatest = window->totalUs[i];
    }
    return greatest;
}

int64_t latencyHeardAtUs(int64_t handedUs, int64_t driverUs, int64_t bufferUs)
{
    return handedUs + (driverUs >= 0 ? driverUs : bufferUs);
}
