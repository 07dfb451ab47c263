// Playback of the embedded module. Nothing is tested: without a device or a
// module the show runs silent and the position meets no cue.
#include "show/music.h"

#include "assets/assets.h"
#include "platform/platform.h"
#include "show/state.h"

void startMusicOutput()
{
    platSoundInit(PLAT_SOUND_DEFAULT_DEVICE, MUSIC_FREQUENCY);
    // The module loops forever; the end cue comes two rows before its end.
    musicHandle = platMusicLoad(assetMusicIt, assetMusicItSize, true);
    platSoundStart();
}

void playMusic()
{
    platMusicPlay(musicHandle, 0);
}
