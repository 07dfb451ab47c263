// The sound calls of platform.h over libopenmpt (rendering) and SDL2 audio
// (output); the music's clock (musicclock.h) keeps what is heard when. One
// module at a time; one output device for the whole process.
//
// Threads: platSoundInit, platMusicLoad, platSoundStart and platMusicPlay run
// on the main thread at start-up. While the module plays, only the audio
// callback (SDL's audio thread) touches it and writes the clock; the main
// thread does either under SDL's device lock, which the callback runs
// inside of. platMusicPosition asks the clock, from any thread.
//
// Device time is the steady clock: a callback's frames are heard the
// driver's latency after it. A driver that keeps no time of its own (disk,
// dummy), and a device lost mid-show (a headset unplugged, the sound server
// gone; SDL then calls back on a timer of its own that runs slower than
// real time), play on the clock's stand-in: the frames it has not taken by
// now are rendered and dropped, so the cues and the end stay on time,
// unheard. The device is not opened again.
#include "platform/tools.h"

#include "platform/musicclock.h"
#include "platform/sdl/latency.h"

#include <SDL.h>
#include <libopenmpt/libopenmpt.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>

enum {
    SOUND_CHANNELS = 2,
    SOUND_BUFFER_FRAMES = 1024,   // frames per callback asked of SDL
    SOUND_SUBCHUNK_FRAMES = 128,  // frames per stamped position: 2.9 ms, the most it trails
    SOUND_MAX_SUBCHUNKS = 32,     // positions one render stamps at most
};
static const uint32_t SOUND_NO_POSITION = 0xFFFFFFFFu;

// ---- state
// Main thread, start-up only:
static SDL_AudioDeviceID soundDevice;  // 0: no device (silent)
static bool soundAtExitRegistered;
// Guarded by SDL's device lock (written by the main thread under it, read and
// written by the audio callback, which SDL runs under it):
static openmpt_module* soundModule;  // the loaded module, never freed once playing
static bool soundPlaying;            // true from platMusicPlay on
static bool soundClosing;            // set at process exit: the callback renders no more
static bool soundClockStarted;       // audio thread: the first callback of this play came
static bool soundClockless;  // the stand-in plays: the driver keeps no time of its own (disk,
                             // dummy), or the device is lost (then set by the audio callback)
static int16_t soundScratch[SOUND_BUFFER_FRAMES * SOUND_CHANNELS];  // audio thread: skipped frames
// Set at start-up before output starts, then read by the audio callback:
static int soundFrequency;       // Hz, as the device was opened
static uint32_t soundLatencyUs;  // callback to first frame heard, microseconds, when the
                                 // driver tells no better (the buffer SDL asked for)
static bool soundAsksPulse;      // the driver is PulseAudio's: pulselatency.cpp knows better
// Any thread:
static std::atomic<uint32_t> soundMusicHandle{0};  // handle of soundModule, 0 for none
static std::atomic<bool> soundSilent{true};        // no device: nothing plays

// ---- helpers

// Steady clock in microseconds. Any thread.
static int64_t soundClockUs()
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

// Audio thread: the position at the next frame to be rendered.
static uint32_t soundModulePosition()
{
    uint32_t order = static_cast<uint32_t>(openmpt_module_get_current_order(soundModule));
    uint32_t row = static_cast<uint32_t>(openmpt_module_get_current_row(soundModule));
    return (order & 0xFFFFu) | (row << 16);
}

// Any thread: the driver's own latency in microseconds, -1 when it tells
// none (then the buffer length stands in); 0 once the stand-in plays.
static int64_t soundDriverLatencyUs()
{
    if (musicClockStandingIn())
        return 0;
    return soundAsksPulse ? pulseLatencyUs() : -1;
}

// Audio thread, with SDL's device lock held: renders frames into out in
// sub-chunks of subchunk frames (at most SOUND_MAX_SUBCHUNKS), and the
// position at the start of each into positions.
static void soundRender(int16_t* out, int frames, int subchunk, uint32_t* positions)
{
    for (int done = 0, i = 0; done < frames; done += subchunk, i++) {
        int length = frames - done < subchunk ? frames - done : subchunk;
        positions[i] = soundModulePosition();
        size_t got = openmpt_module_read_interleaved_stereo(
            soundModule, soundFrequency, static_cast<size_t>(length), out + done * SOUND_CHANNELS);
        if (got < static_cast<size_t>(length))
            memset(out + (done + static_cast<int>(got)) * SOUND_CHANNELS, 0,
                   static_cast<size_t>(length - static_cast<int>(got)) * SOUND_CHANNELS *
                       sizeof(int16_t));
    }
}

// Audio thread, with SDL's device lock held. On the stand-in, the frames it
// has played and the driver did not take (the disk and dummy drivers ask
// about 1 % slower than real time; a lost device's timer more so) are
// rendered, stamped and dropped, at most a second at once.
static void soundSkipLateFrames(int64_t nowUs)
{
    int64_t behind = musicClockFramesDue(nowUs);
    if (behind > static_cast<int64_t>(soundFrequency))
        behind = soundFrequency;
    uint32_t positions[SOUND_MAX_SUBCHUNKS];
    while (behind > 0) {
        int want = behind < SOUND_BUFFER_FRAMES ? static_cast<int>(behind) : SOUND_BUFFER_FRAMES;
        soundRender(soundScratch, want, SOUND_SUBCHUNK_FRAMES, positions);
        musicClockStamp(positions, SOUND_SUBCHUNK_FRAMES, want, MUSIC_CLOCK_NEXT);
        behind -= want;
    }
}

// Audio thread, with SDL's device lock held. The stand-in starts with the
// first callback of a play on a driver without a clock, and takes over
// from a device that SDL reports gone (stopped; it calls back all the
// same), on the frames after those rendered.
static void soundStartClock(int64_t nowUs)
{
    if (soundClockStarted) {
        if (soundClockless || SDL_GetAudioDeviceStatus(soundDevice) != SDL_AUDIO_STOPPED)
            return;
        soundClockless = true;
    }
    soundClockStarted = true;
    if (soundClockless)
        musicClockStandIn(nowUs, nowUs);
}

// Audio thread, with SDL's device lock held. Renders the buffer and stamps
// it: on the stand-in, right after what was rendered; otherwise, since SDL
// calls back once the previous buffer is all handed over, the driver's
// latency after the call. Rendered first and stamped after: the render's
// time keeps the stamp from running ahead where the estimate falls a
// little short.
static void soundCallback(void*, Uint8* stream, int length)
{
    int frames = length / static_cast<int>(SOUND_CHANNELS * sizeof(int16_t));
    int16_t* out = reinterpret_cast<int16_t*>(stream);
    if (!soundModule || !soundPlaying || soundClosing) {
        memset(stream, 0, static_cast<size_t>(length));
        return;
    }
    int64_t nowUs = soundClockUs();
    soundStartClock(nowUs);
    soundSkipLateFrames(nowUs);
    int subchunk = SOUND_SUBCHUNK_FRAMES;
    if (frames > subchunk * SOUND_MAX_SUBCHUNKS)
        subchunk = (frames + SOUND_MAX_SUBCHUNKS - 1) / SOUND_MAX_SUBCHUNKS;
    uint32_t positions[SOUND_MAX_SUBCHUNKS];
    soundRender(out, frames, subchunk, positions);
    int64_t heardUs =
        musicClockStandingIn()
            ? MUSIC_CLOCK_NEXT
            : latencyHeardAtUs(soundClockUs(), soundDriverLatencyUs(), soundLatencyUs);
    musicClockStamp(positions, subchunk, frames, heardUs);
}

// Main thread, at process exit: lets a callback in flight finish and keeps
// later ones away from the module while the libraries' statics go away. The
// device stays open and the thread runs on, silent, until the process ends.
static void soundAtExit()
{
    SDL_LockAudioDevice(soundDevice);
    soundClosing = true;
    SDL_UnlockAudioDevice(soundDevice);
}

// Main thread: opens the device named by index (-1: the default) on the
// audio driver SDL has initialised; 0 when none opens.
static SDL_AudioDeviceID soundOpenDevice(int device, int frequency, SDL_AudioSpec* obtained)
{
    SDL_AudioSpec wanted;
    memset(&wanted, 0, sizeof wanted);
    wanted.freq = frequency;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = SOUND_CHANNELS;
    wanted.samples = SOUND_BUFFER_FRAMES;
    wanted.callback = soundCallback;
    const char* name = device < 0 ? nullptr : SDL_GetAudioDeviceName(device, 0);
    if (device >= 0 && !name)
        return 0;
    // No changes allowed: SDL converts to the device's format itself, so the
    // callback always sees frequency Hz, 16-bit stereo.
    return SDL_OpenAudioDevice(name, 0, &wanted, obtained, 0);
}

bool platSoundInit(int device, int frequency)
{
    if (soundDevice || frequency <= 0)
        return false;
    SDL_AudioSpec obtained;
    SDL_AudioDeviceID opened = 0;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
        opened = soundOpenDevice(device, frequency, &obtained);
        if (!opened)
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    if (!opened) {
        // No card or no usable driver: SDL's dummy driver still calls back in
        // real time, so the music, its position and the cues go on, unheard.
        // Override priority beats an SDL_AUDIODRIVER that named the failed one.
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {
            opened = soundOpenDevice(-1, frequency, &obtained);
            if (!opened)
                SDL_QuitSubSystem(SDL_INIT_AUDIO);
        }
    }
    if (!opened)
        return false;

    soundFrequency = obtained.freq;
    // SDL tells no latency; what it tells is the buffer. A real device asks
    // for the next buffer while it still holds one to play; the disk and dummy
    // drivers take a buffer as soon as it is filled.
    const char* driver = SDL_GetCurrentAudioDriver();
    bool immediate = driver && (strcmp(driver, "disk") == 0 || strcmp(driver, "dummy") == 0);
    soundLatencyUs = immediate ? 0
                               : static_cast<uint32_t>(static_cast<int64_t>(obtained.samples) *
                                                       1000000 / obtained.freq);
    soundClockless = immediate;
    musicClockOpen(soundFrequency, 0, 0);
    // PulseAudio holds the audio for longer or shorter than the buffer, and
    // says how long to anyone who asks it.
    soundAsksPulse = driver && strcmp(driver, "pulseaudio") == 0 && pulseLatencyStart();
    soundDevice = opened;
    soundSilent.store(false, std::memory_order_relaxed);
    if (!soundAtExitRegistered) {
        atexit(soundAtExit);
        soundAtExitRegistered = true;
    }
    return true;
}

uint32_t platMusicLoad(const void* data, size_t length, bool loop)
{
    if (!data || length == 0)
        return 0;
    openmpt_module* module = openmpt_module_create_from_memory2(
        data, length, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr, nullptr,
        nullptr, nullptr);
    if (!module)
        return 0;
    openmpt_module_set_repeat_count(module, loop ? -1 : 0);

    if (soundDevice)
        SDL_LockAudioDevice(soundDevice);
    openmpt_module* previous = soundModule;
    soundModule = module;
    soundPlaying = false;
    musicClockRest(0);
    uint32_t handle = soundMusicHandle.load(std::memory_order_relaxed) + 1;
    if (handle == 0)
        handle = 1;
    soundMusicHandle.store(handle, std::memory_order_relaxed);
    if (soundDevice)
        SDL_UnlockAudioDevice(soundDevice);
    if (previous)
        openmpt_module_destroy(previous);
    return handle;
}

bool platSoundStart()
{
    if (!soundDevice)
        return false;
    SDL_PauseAudioDevice(soundDevice, 0);
    return true;
}

bool platMusicPlay(uint32_t music, uint32_t position)
{
    if (music == 0 || music != soundMusicHandle.load(std::memory_order_relaxed))
        return false;
    if (soundDevice)
        SDL_LockAudioDevice(soundDevice);
    openmpt_module_set_position_order_row(soundModule, static_cast<int32_t>(position & 0xFFFFu),
                                          static_cast<int32_t>(position >> 16));
    musicClockPlay(position, true, soundClockUs());
    soundPlaying = soundDevice != 0;
    soundClockStarted = false;
    if (soundDevice)
        SDL_UnlockAudioDevice(soundDevice);
    return soundDevice != 0;
}

uint32_t platMusicPosition(uint32_t music)
{
    if (music == 0 || music != soundMusicHandle.load(std::memory_order_relaxed))
        return SOUND_NO_POSITION;
    if (soundSilent.load(std::memory_order_relaxed))
        return SOUND_NO_POSITION;
    int64_t nowUs = soundClockUs();
    return musicClockPosition(nowUs, nowUs);
}

int platSoundLatencyUs()
{
    if (soundSilent.load(std::memory_order_relaxed))
        return -1;
    int64_t driverUs = soundDriverLatencyUs();
    return static_cast<int>(driverUs >= 0 ? driverUs : soundLatencyUs);
}
