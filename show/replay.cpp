// Offline replay of the cue timer's flash.
#include "show/replay.h"

#include "assets/assets.h"
#include "platform/tools.h"
#include "show/cues.h"
#include "show/music.h"

// ---- state (the calling thread's)
static uint32_t replayPositions[REPLAY_MAX_TICKS];  // position seen by tick k + 1
static float replayLevels[REPLAY_MAX_TICKS];        // flashLevel after tick k + 1

bool replayCueLevels(int frequency, int ticks, float* levels, int* endCueTick)
{
    *endCueTick = 0;
    if (ticks < 0 || ticks > REPLAY_MAX_TICKS)
        return false;
    if (!platMusicScanPositions(assetMusicIt, assetMusicItSize, frequency, CUE_PERIOD_MS,
                                replayPositions, ticks))
        return false;
    float flash = 0.0f;
    for (int tick = 0; tick < ticks; tick++) {
        bool endCue = false;
        flash = cueFlashStep(flash, replayPositions[tick], &endCue);
        if (endCue && *endCueTick == 0)
            *endCueTick = tick + 1;
        levels[tick] = flash;
    }
    return true;
}

bool replayCueTicks(int ticks, float* level, bool* endCueSeen)
{
    *level = 0.0f;
    *endCueSeen = false;
    if (ticks < 0)
        ticks = 0;
    if (ticks > REPLAY_MAX_TICKS)
        ticks = REPLAY_MAX_TICKS;
    int endCueTick = 0;
    if (!replayCueLevels(MUSIC_FREQUENCY, ticks, replayLevels, &endCueTick))
        return false;
    *endCueSeen = endCueTick != 0;
    if (ticks > 0)
        *level = replayLevels[ticks - 1];
    return true;
}
