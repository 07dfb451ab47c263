// The starfield: 3000 flare sprites flying along -z and wrapping around.
#pragma once

#include <atomic>
#include <cstdint>

enum { STAR_COUNT = 3000 };

struct Star {
    float x;  // eye space, fixed after scatterStars
    float y;
    std::atomic<float> z;  // moved by every tick (timer thread), read by drawStars
    int32_t angle;         // degrees about the view axis
    float speed;           // 1 to 9; 0.05 * speed per tick along -z
};
extern Star stars[STAR_COUNT];

// Where a star starts again after passing the far end, and that far end.
static const float STAR_WRAP_Z = 300.0f;
static const float STAR_FAR_Z = -300.0f;

// Five rand() draws per star in array order: x, y, z, angle, speed. Main
// thread, start-up, after srand and before the cue timer starts.
void scatterStars();
// Moves every star 0.05 * speed along -z; one that passes -300 starts again
// at exactly 300. Timer thread, once per tick.
void moveStars();
// Every star as a 2 by 2 flare quad at its place and angle, under the state
// the scene pass sets. Main thread.
void drawStars();
