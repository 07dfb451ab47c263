#include "app/shared.h"

std::atomic<float> showTime{0.0f};
std::atomic<float> flashLevel{0.0f};
std::atomic<uint8_t> quitRequested{0};

uint8_t windowActive = 1;
uint8_t fullscreen = 1;
uint8_t keyDown[256];

uint32_t musicHandle;
