// The starfield: 3000 flare sprites flying along -z and wrapping around.
#pragma once

#include <atomic>
#include <cstdint>

enum { STAR_COUNT = 3000 };

struct Star {
    float x;                 // eye space, fixed after scatterStars
    float y;
    std::atomic<float> z;    // moved by every tick (timer thread), read by drawStars
    int32_t angle;           // degrees about the view axis
    float speed;             // 1 to 9; 0.05 * speed per tick along -z
};
extern Star stars[STAR_COUNT];

void scatterStars();   // main thread, start-up, after srand
void moveStars();      // timer thread, once per tick
void drawStars();      // main thread, inside the scene pass
