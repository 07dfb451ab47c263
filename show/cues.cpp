// The cue timer's tick and the rule it applies to the music position.
#include "show/cues.h"

#include "platform/platform.h"
#include "scene/stars.h"
#include "show/state.h"

// The (order, row) pairs that raise the flash: every flash order with every
// flash row, 14 cues in all.
static const uint32_t CUE_FLASH_ORDERS[] = {15, 17, 21, 23, 25, 27, 29};
static const uint32_t CUE_FLASH_ROWS[] = {52, 56};

// Any thread.
static bool cueIsFlash(uint32_t order, uint32_t row)
{
    bool orderMatches = false;
    for (uint32_t flashOrder : CUE_FLASH_ORDERS)
        orderMatches |= order == flashOrder;
    bool rowMatches = false;
    for (uint32_t flashRow : CUE_FLASH_ROWS)
        rowMatches |= row == flashRow;
    return orderMatches && rowMatches;
}

float cueFlashStep(float level, uint32_t position, bool* endCue)
{
    uint32_t musicOrder = position & 0xFFFFu;
    uint32_t musicRow = position >> 16;
    float candidate =
        cueIsFlash(musicOrder, musicRow) ? static_cast<float>(CUE_FLASH_LEVEL) : level;
    *endCue = musicOrder == CUE_END_ORDER && musicRow == CUE_END_ROW;
    if (!(candidate > 0.0f))
        return 0.0f;
    float decayed = candidate - static_cast<float>(CUE_FLASH_DECAY);
    return decayed > 0.0f ? decayed : 0.0f;
}

void advanceShowClock()
{
    showTime.store(showTime.load(std::memory_order_relaxed) + CUE_CLOCK_STEP,
                   std::memory_order_relaxed);
}

void startCueTimer()
{
    platStartPeriodicTimer(CUE_PERIOD_MS, cueTimerTick);
}

// Timer thread. Every shared value is read and written with one relaxed
// load or store; the frame drawn meanwhile may mix this tick and the last.
void cueTimerTick()
{
    advanceShowClock();
    uint32_t position = platMusicPosition(musicHandle);
    bool endCue = false;
    float level = cueFlashStep(flashLevel.load(std::memory_order_relaxed), position, &endCue);
    if (endCue)
        quitRequested.store(1, std::memory_order_relaxed);
    moveStars();
    flashLevel.store(level, std::memory_order_relaxed);
}
