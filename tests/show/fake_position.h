// A scripted stand-in for the live music position, linked into unit tests
// in place of platform/sdl/sound.cpp's platMusicPosition.
#pragma once

#include <cstdint>

// From now on platMusicPosition returns positions[0], positions[1], ... one
// per call, then the last one for ever. count >= 1; the array is copied.
void fakeScriptPositions(const uint32_t* positions, int count);
// Calls made since the last script, and the handle the last one asked for.
int fakePositionCalls();
uint32_t fakeLastHandle();
