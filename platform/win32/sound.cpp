// The sound calls of platform.h while this build has no output: no device
// opens and no module decoder is built in, so the show runs silent. The
// position then answers as the SDL layer's does with no device, so no cue
// comes and the show ends by Esc or by closing the window.
#include "platform/platform.h"

// The position of music that is not heard.
static const uint32_t NO_POSITION = 0xFFFFFFFFu;

// Main thread, start-up.
bool platSoundInit(int, int)
{
    return false;
}

// Main thread, start-up: nothing decodes the module, so there is no handle.
uint32_t platMusicLoad(const void*, size_t, bool)
{
    return 0;
}

// Main thread, start-up.
bool platSoundStart()
{
    return false;
}

// Main thread, start-up.
bool platMusicPlay(uint32_t, uint32_t)
{
    return false;
}

// Any thread.
uint32_t platMusicPosition(uint32_t)
{
    return NO_POSITION;
}

// Any thread.
int platSoundLatencyUs()
{
    return -1;
}
