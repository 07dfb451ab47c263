// The sound calls of platform.h over libopenmpt (rendering) and SDL2 audio
// (output). One module at a time; one output device for the whole process.
//
// Threads: platSoundInit, platMusicLoad, platSoundStart and platMusicPlay run
// on the main thread at start-up. While the module plays, only the audio
// callback (SDL's audio thread) touches it; the main thread hands it over
// under SDL's device lock, which the callback runs inside of. The callback
// publishes what will be heard, with the time it will be heard, in a ring of
// relaxed atomics that platMusicPosition reads from any thread.
//
// A device lost mid-show (a headset unplugged, the sound server gone): SDL
// keeps calling back, on a timer of its own that runs slower than real time.
// The callback then plays on a steady clock from where the music was heard,
// as with a driver that keeps no time, so the cues and the end stay on time,
// unheard. The device is not opened again.
#include "platform/platform.h"

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
    SOUND_SUBCHUNK_FRAMES = 128,  // frames per published position: 2.9 ms, the most it trails
    SOUND_RING_SLOTS = 64,        // published positions kept: 8 callbacks, 186 ms
    SOUND_MAX_SUBCHUNKS = 32,     // positions one callback publishes at most
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
static int soundRingNext;            // audio thread: next ring slot to write
static bool soundClockStarted;       // audio thread: soundStartUs is set for this play
static int64_t soundStartUs;         // audio thread: steady clock at the first frame played
static int64_t soundFramesPlayed;    // audio thread: frames rendered since, skipped ones too
static uint32_t soundLastStampUs;    // audio thread: heard-at time of the latest slot, microseconds
static int64_t
    soundNextHeardUs;  // audio thread: heard-at time of the next frame to render, microseconds
static int16_t soundScratch[SOUND_BUFFER_FRAMES * SOUND_CHANNELS];  // audio thread: skipped frames
// Set at start-up before output starts, then read by the audio callback:
static int soundFrequency;       // Hz, as the device was opened
static uint32_t soundLatencyUs;  // callback to first frame heard, microseconds, when the
                                 // driver tells no better (the buffer SDL asked for)
static bool soundClockless;      // the driver keeps no time of its own (disk, dummy), or the
                                 // device is lost (then set by the audio callback)
static bool soundAsksPulse;      // the driver is PulseAudio's: pulselatency.cpp knows better
// Any thread:
static std::atomic<uint32_t> soundMusicHandle{0};   // handle of soundModule, 0 for none
static std::atomic<uint32_t> soundRestPosition{0};  // position before anything is heard
static std::atomic<bool> soundSilent{true};         // no device: nothing plays
static std::atomic<bool> soundLost{false};          // the device went away: the steady clock plays
// One slot: heard-at time (steady clock, microseconds, low 32 bits, forced
// odd) in the high 32 bits, position in the low 32 bits; 0 when empty.
static std::atomic<uint64_t> soundRing[SOUND_RING_SLOTS];

// ---- helpers

// Steady clock in microseconds. Any thread.
static int64_t soundClockUs()
{
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::microseconds>(now).count();
}

// Any thread (the main thread with the device locked, or no device).
static void soundClearRing()
{
    for (auto& slot : soundRing)
        slot.store(0, std::memory_order_relaxed);
}

// Audio thread: the position at the next frame to be rendered.
static uint32_t soundModulePosition()
{
    uint32_t order = static_cast<uint32_t>(openmpt_module_get_current_order(soundModule));
    uint32_t row = static_cast<uint32_t>(openmpt_module_get_current_row(soundModule));
    return (order & 0xFFFFu) | (row << 16);
}

// Audio thread: records that position will be heard at heardUs.
static void soundPublish(uint32_t position, uint32_t heardUs)
{
    uint64_t slot = (static_cast<uint64_t>(heardUs | 1u) << 32) | position;
    soundRing[soundRingNext].store(slot, std::memory_order_relaxed);
    soundRingNext = (soundRingNext + 1) % SOUND_RING_SLOTS;
}

// Any thread: the driver's own latency in microseconds, -1 when it tells
// none (then the buffer length stands in).
static int64_t soundDriverLatencyUs()
{
    if (soundLost.load(std::memory_order_relaxed))
        return 0;
    return soundAsksPulse ? pulseLatencyUs() : -1;
}

// Audio thread, with SDL's device lock held. A driver without a clock of its
// own (disk, dummy) asks for buffers a little slower than real time, about
// 1 % (it sleeps a whole buffer after each): the frames it failed to take by
// now are rendered and dropped, so the music keeps to the steady clock as it
// would on a card.
static void soundSkipLateFrames(int64_t nowUs)
{
    int64_t due = (nowUs - soundStartUs) * soundFrequency / 1000000;
    int64_t behind = due - soundFramesPlayed;
    if (behind > static_cast<int64_t>(soundFrequency))
        behind = soundFrequency;  // at most a second at once
    while (behind > 0) {
        size_t want = behind < SOUND_BUFFER_FRAMES ? static_cast<size_t>(behind)
                                                   : static_cast<size_t>(SOUND_BUFFER_FRAMES);
        size_t got =
            openmpt_module_read_interleaved_stereo(soundModule, soundFrequency, want, soundScratch);
        if (got == 0)
            break;
        behind -= static_cast<int64_t>(got);
        soundFramesPlayed += static_cast<int64_t>(got);
    }
}

// Audio thread, with SDL's device lock held. SDL reports a device that went
// away as stopped, and calls back all the same: from the frame after the
// last one rendered, the music plays on the steady clock, as a driver that
// keeps no time of its own does.
static void soundCheckDeviceLost()
{
    if (soundClockless || SDL_GetAudioDeviceStatus(soundDevice) != SDL_AUDIO_STOPPED)
        return;
    soundClockless = true;
    soundStartUs = soundNextHeardUs;
    soundFramesPlayed = 0;
    soundLost.store(true, std::memory_order_relaxed);
}

// Audio thread, with SDL's device lock held. Fills the buffer in sub-chunks
// and publishes the position at the start of each with the time its first
// frame will be heard, so a reader is never more than a sub-chunk late.
static void soundCallback(void*, Uint8* stream, int length)
{
    int frames = length / static_cast<int>(SOUND_CHANNELS * sizeof(int16_t));
    int16_t* out = reinterpret_cast<int16_t*>(stream);
    if (!soundModule || !soundPlaying || soundClosing) {
        memset(stream, 0, static_cast<size_t>(length));
        return;
    }
    int64_t nowUs = soundClockUs();
    if (!soundClockStarted) {
        soundClockStarted = true;
        soundStartUs = nowUs;
        soundFramesPlayed = 0;
        soundLastStampUs = static_cast<uint32_t>(nowUs);
    } else {
        soundCheckDeviceLost();
        if (soundClockless)
            soundSkipLateFrames(nowUs);
    }
    // Without a clock of the driver's own, a frame is heard when the steady
    // clock reaches it.
    int64_t clockHeardUs = soundStartUs + soundFramesPlayed * 1000000 / soundFrequency;
    // SDL calls back once the previous buffer is all handed over, so this
    // one's first frame is heard the driver's latency after the call began.
    // Rendered first and stamped after: the render's time keeps the stamp
    // from running ahead where the estimate falls a little short.
    int subchunk = SOUND_SUBCHUNK_FRAMES;
    if (frames > subchunk * SOUND_MAX_SUBCHUNKS)
        subchunk = (frames + SOUND_MAX_SUBCHUNKS - 1) / SOUND_MAX_SUBCHUNKS;
    uint32_t positions[SOUND_MAX_SUBCHUNKS];
    int count = 0;
    for (int done = 0; done < frames; done += subchunk) {
        int length = frames - done < subchunk ? frames - done : subchunk;
        positions[count++] = soundModulePosition();
        size_t got = openmpt_module_read_interleaved_stereo(
            soundModule, soundFrequency, static_cast<size_t>(length), out + done * SOUND_CHANNELS);
        if (got < static_cast<size_t>(length))
            memset(out + (done + static_cast<int>(got)) * SOUND_CHANNELS, 0,
                   static_cast<size_t>(length - static_cast<int>(got)) * SOUND_CHANNELS *
                       sizeof(int16_t));
    }
    int64_t heardUs =
        soundClockless ? clockHeardUs
                       : latencyHeardAtUs(soundClockUs(), soundDriverLatencyUs(), soundLatencyUs);
    // Frames are heard in the order they are played: when the estimate
    // falls faster than time passes (a sink that ran far ahead drains), a
    // slot is stamped just after the one before, never before it, so the
    // position never goes back.
    for (int i = 0; i < count; i++) {
        int64_t offsetUs = static_cast<int64_t>(i) * subchunk * 1000000 / soundFrequency;
        uint32_t stampUs = static_cast<uint32_t>(heardUs + offsetUs);
        if (static_cast<int32_t>(stampUs - soundLastStampUs) <= 0)
            stampUs = soundLastStampUs + 2;
        soundLastStampUs = stampUs;
        soundPublish(positions[i], stampUs);
    }
    soundNextHeardUs = heardUs + static_cast<int64_t>(frames) * 1000000 / soundFrequency;
    soundFramesPlayed += frames;
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
    soundClearRing();
    soundRestPosition.store(0, std::memory_order_relaxed);
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
    soundClearRing();
    soundRestPosition.store(position, std::memory_order_relaxed);
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
    // The latest slot already heard; slots still to come are skipped.
    uint32_t now = static_cast<uint32_t>(soundClockUs());
    uint32_t bestAge = 0xFFFFFFFFu;
    uint32_t best = soundRestPosition.load(std::memory_order_relaxed);
    for (auto& ring : soundRing) {
        uint64_t slot = ring.load(std::memory_order_relaxed);
        if (slot == 0)
            continue;
        uint32_t age = now - static_cast<uint32_t>(slot >> 32);
        if (static_cast<int32_t>(age) < 0 || age >= bestAge)
            continue;
        bestAge = age;
        best = static_cast<uint32_t>(slot);
    }
    return best;
}

int platSoundLatencyUs()
{
    if (soundSilent.load(std::memory_order_relaxed))
        return -1;
    int64_t driverUs = soundDriverLatencyUs();
    return static_cast<int>(driverUs >= 0 ? driverUs : soundLatencyUs);
}
