// The sound calls of platform.h in the page. No module is played here yet:
// as on Linux and Windows when no device opens, a steady clock stands in
// for the device, so the music's position (and with it the flashes and the
// end cue) keeps time, silent. The position is looked up in the table of
// positions the Linux layer scanned from the module at build time
// (webdata.h), by the time since the play call on the page's monotonic
// clock.
#include "platform/platform.h"

#include <emscripten.h>

#include "platform/web/page.h"
#include "platform/web/webdata.h"

static const uint32_t NO_POSITION = 0xFFFFFFFFu;

// ------------------------------------------------------------------ state
static uint32_t musicHandle;  // the loaded module's handle; 0 before any
static bool musicPlaying;
static double playStartMs;  // page clock at the play call

double webNowMs()
{
    return emscripten_get_now();
}

bool platSoundInit(int, int)
{
    musicPlaying = false;
    return true;
}

uint32_t platMusicLoad(const void*, size_t, bool)
{
    musicPlaying = false;
    ++musicHandle;
    if (musicHandle == 0) {
        musicHandle = 1;
    }
    return musicHandle;
}

bool platSoundStart()
{
    return true;
}

// The table starts at order 0, row 0; a play from any other position is
// not offered.
bool platMusicPlay(uint32_t music, uint32_t position)
{
    if (music == 0 || music != musicHandle || position != 0) {
        return false;
    }
    musicPlaying = true;
    playStartMs = webNowMs();
    return true;
}

uint32_t platMusicPosition(uint32_t music)
{
    if (music == 0 || music != musicHandle) {
        return NO_POSITION;
    }
    if (!musicPlaying) {
        return 0;
    }
    // A tick hears the music as at its own deadline, however late it runs.
    const double tickMs = webTickTimeMs();
    const double elapsed = (tickMs >= 0 ? tickMs : webNowMs()) - playStartMs;
    const uint32_t ms = elapsed > 0 ? static_cast<uint32_t>(elapsed) : 0;
    // The last change at or before ms.
    int low = 0;
    int high = webMusicChangeCount - 1;
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (webMusicChanges[2 * middle] <= ms) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return webMusicChanges[2 * low + 1];
}

int platSoundLatencyUs()
{
    return 0;  // nothing is heard, so nothing lies between render and ear
}
