#include "show/state.h"

std::atomic<float> showTime{0.0f};
std::atomic<float> flashLevel{0.0f};
std::atomic<uint8_t> quitRequested{0};

uint32_t musicHandle;

void resetShowState()
{
    showTime.store(0.0f, std::memory_order_relaxed);
    flashLevel.store(0.0f, std::memory_order_relaxed);
    quitRequested.store(0, std::memory_order_relaxed);
}
