// Offline replay of the cue timer's flash.
#include "show/replay.h"

#include "assets/assets.h"
#include "platform/platform.h"
#include "show/cues.h"
#include "show/music.h"

namespace {

// ---- state (the calling thread's)
uint32_t replayPositions[REPLAY_MAX_TICKS];   // position seen by tick k + 1

}  // namespace

bool replayCueTicks(int ticks, float* level, bool* endCueSeen) {
    *level = 0.0f;
    *endCueSeen = false;
    if (ticks < 0) ticks = 0;
    if (ticks > REPLAY_MAX_TICKS) ticks = REPLAY_MAX_TICKS;
    if (!platMusicScanPositions(assetMusicIt, assetMusicItSize, MUSIC_FREQUENCY, CUE_PERIOD_MS,
                                replayPositions, ticks))
        return false;
    float flash = 0.0f;
    for (int tick = 0; tick < ticks; tick++) {
        bool endCue = false;
        flash = cueFlashStep(flash, replayPositions[tick], &endCue);
        *endCueSeen |= endCue;
    }
    *level = flash;
    return true;
}
