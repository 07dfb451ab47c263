// The scripted music position of fake_position.h.
#include "tests/show/fake_position.h"

#include "platform/platform.h"

#include <cassert>

enum { FAKE_MAX_POSITIONS = 4096 };

// ---- state (the test's thread)
static uint32_t fakePositions[FAKE_MAX_POSITIONS] = {0xFFFFFFFFu};
static int fakeCount = 1;
static int fakeCalls;
static uint32_t fakeHandle;

void fakeScriptPositions(const uint32_t* positions, int count)
{
    assert(count >= 1 && count <= FAKE_MAX_POSITIONS);
    for (int i = 0; i < count; i++)
        fakePositions[i] = positions[i];
    fakeCount = count;
    fakeCalls = 0;
}

int fakePositionCalls()
{
    return fakeCalls;
}
uint32_t fakeLastHandle()
{
    return fakeHandle;
}

uint32_t platMusicPosition(uint32_t music)
{
    fakeHandle = music;
    int index = fakeCalls < fakeCount ? fakeCalls : fakeCount - 1;
    fakeCalls++;
    return fakePositions[index];
}
