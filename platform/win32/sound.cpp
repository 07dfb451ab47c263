// The sound calls of platform.h over libopenmpt (rendering) and waveOut
// (output); the music's clock (musicclock.h) keeps what is heard when. One
// module, one output device for the whole process.
//
// Threads: platSoundInit, platMusicLoad and platSoundStart run on the main
// thread at start-up; platSoundStart starts the render thread, and from then
// on that thread alone touches the module and writes the clock. From the
// first play request on it keeps SOUND_BUFFER_COUNT buffers queued on the
// device, woken by the device's event (the waveOut callback only signals),
// and stamps every sub-block with the device frame at which it will be
// heard. platMusicPlay leaves its request for the render thread and wakes
// it. Nothing is queued before the first request, so the device's first
// frame is the music's first. platMusicPosition (any thread, the cue
// timer's in the show) asks the device which frame it plays now
// (waveOutGetPosition, TIME_SAMPLES): device time is that frame, as time.
//
// No device, or one whose frame stands still for SOUND_LOST_MS while every
// buffer waits on it (given up for good): the clock's stand-in plays on the
// performance counter, from the frame last heard at the moment it was
// heard, and the render thread keeps as much rendered ahead of it as a
// device would hold, so the position, the cues and the end come on time,
// unheard.
//
// At process exit the render thread is asked to stop touching the module
// before the runtime's statics go; the device, its queued buffers and the
// thread itself are left to end with the process.
#define WIN32_LEAN_AND_MEAN
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>
// (after windows.h, whose types it uses)
#include <mmsystem.h>

#include <libopenmpt/libopenmpt.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/musicclock.h"
#include "platform/tools.h"

enum {
    SOUND_CHANNELS = 2,
    SOUND_BYTES_PER_FRAME = 4,    // 16-bit stereo
    SOUND_BUFFER_FRAMES = 1024,   // frames per queued buffer: 23.2 ms at 44,100 Hz
    SOUND_BUFFER_COUNT = 16,      // buffers queued on the device: 371.5 ms
    SOUND_SUBBLOCK_FRAMES = 128,  // frames per stamped position: 2.9 ms, the most it trails
    SOUND_WAIT_MS = 100,          // longest sleep of the render thread between checks
    SOUND_EXIT_WAIT_MS = 1000,    // longest wait at exit for the render thread to let go
    SOUND_LOST_MS = 1000,         // a device whose frame stands still this long is lost
};
static const uint32_t SOUND_NO_POSITION = 0xFFFFFFFFu;

// --- sound state ---------------------------------------------------------
// Main thread, start-up only:
static bool soundInitDone;  // platSoundInit has run (device or clock)
static bool soundStarted;   // platSoundStart has started the render thread
static HANDLE soundThread;  // the render thread, never joined
// Made on the main thread before the render thread starts (its creation
// hands them over), then only used by it and by the exit handler:
static HANDLE soundWakeup;           // auto-reset event the device signals per buffer done
static HANDLE soundLetGo;            // manual-reset event: the render thread left the module
static openmpt_module* soundModule;  // the render thread's alone once it runs
// Render thread only:
static WAVEHDR soundHeaders[SOUND_BUFFER_COUNT];  // one per buffer; prepared on first use
static int16_t soundBuffers[SOUND_BUFFER_COUNT][SOUND_BUFFER_FRAMES * SOUND_CHANNELS];
static int soundNextBuffer;           // the buffer to fill next
static int64_t soundFramesRendered;   // frames rendered since output started (device frames)
static uint32_t soundPlaySerialSeen;  // the last play request applied
static uint32_t soundPosition;        // the position of the sub-block rendered last
// Any thread:
// Written by platSoundInit before any other thread starts, read after:
static HWAVEOUT soundDevice;                       // the output device; null: the clock plays
static int64_t soundFrequency;                     // Hz, as the device or clock was opened
static int64_t soundCounterRate;                   // performance counter ticks per second
static std::atomic<uint32_t> soundMusicHandle{0};  // handle of soundModule, 0 for none
// The latest play request: its count (1 on) in the high 32 bits, its start
// position (order low, row high) in the low 32 bits; 0: none yet.
static std::atomic<uint64_t> soundPlayRequest{0};
static std::atomic<bool> soundRunning{false};  // output started: positions are answered
static std::atomic<bool> soundClosing{false};  // process exit: the module is off limits

// --- helpers -------------------------------------------------------------

// Any thread: the performance counter in microseconds, the steady time.
static int64_t soundSteadyUs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Whole seconds and the rest apart, so the product cannot overflow.
    return now.QuadPart / soundCounterRate * 1000000 +
           now.QuadPart % soundCounterRate * 1000000 / soundCounterRate;
}

// Any thread: device frames as device time.
static int64_t soundFramesUs(int64_t frames)
{
    return frames * 1000000 / soundFrequency;
}

// Any thread: the device time the device plays now, counted from its
// first buffer; MUSIC_CLOCK_UNKNOWN when it does not tell.
static int64_t soundDeviceUs()
{
    MMTIME time;
    memset(&time, 0, sizeof time);
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(soundDevice, &time, sizeof time) != MMSYSERR_NOERROR)
        return MUSIC_CLOCK_UNKNOWN;
    if (time.wType == TIME_SAMPLES)
        return soundFramesUs(time.u.sample);
    if (time.wType == TIME_BYTES)
        return soundFramesUs(time.u.cb / SOUND_BYTES_PER_FRAME);
    return MUSIC_CLOCK_UNKNOWN;
}

// Render thread: takes up the latest play request, if it is new, from the
// next frame to be rendered.
static void soundTakeRequest()
{
    uint64_t request = soundPlayRequest.load(std::memory_order_relaxed);
    uint32_t serial = static_cast<uint32_t>(request >> 32);
    if (serial == soundPlaySerialSeen)
        return;
    soundPlaySerialSeen = serial;
    uint32_t start = static_cast<uint32_t>(request);
    openmpt_module_set_position_order_row(soundModule, static_cast<int32_t>(start & 0xFFFFu),
                                          static_cast<int32_t>(start >> 16));
    musicClockPlay(start, false, soundSteadyUs());
}

// Render thread: the position at the next frame to be rendered.
static uint32_t soundModulePosition()
{
    uint32_t order = static_cast<uint32_t>(openmpt_module_get_current_order(soundModule));
    uint32_t row = static_cast<uint32_t>(openmpt_module_get_current_row(soundModule));
    return (order & 0xFFFFu) | (row << 16);
}

// Render thread: fills one buffer of frames, sub-block by sub-block, and
// stamps them with the device frames they will be heard at. Once the
// process exits, the rest of the buffer is silence at the last position.
static void soundRender(int16_t* out)
{
    uint32_t positions[SOUND_BUFFER_FRAMES / SOUND_SUBBLOCK_FRAMES];
    for (int done = 0, i = 0; done < SOUND_BUFFER_FRAMES; done += SOUND_SUBBLOCK_FRAMES, i++) {
        int16_t* block = out + done * SOUND_CHANNELS;
        size_t got = 0;
        if (!soundClosing.load(std::memory_order_relaxed)) {
            soundTakeRequest();
            soundPosition = soundModulePosition();
            got = openmpt_module_read_interleaved_stereo(soundModule, soundFrequency,
                                                         SOUND_SUBBLOCK_FRAMES, block);
        }
        positions[i] = soundPosition;
        if (got < SOUND_SUBBLOCK_FRAMES)
            memset(block + got * SOUND_CHANNELS, 0,
                   (SOUND_SUBBLOCK_FRAMES - got) * SOUND_BYTES_PER_FRAME);
    }
    musicClockStamp(positions, SOUND_SUBBLOCK_FRAMES, SOUND_BUFFER_FRAMES,
                    soundFramesUs(soundFramesRendered));
    soundFramesRendered += SOUND_BUFFER_FRAMES;
}

// Render thread: once the process exits, lets go of the module for good and
// says so; the thread then only sleeps until the process ends.
static void soundCheckClosing()
{
    if (!soundClosing.load(std::memory_order_relaxed))
        return;
    SetEvent(soundLetGo);
    for (;;)
        Sleep(INFINITE);
}

// Render thread, with a device: queues the next buffer once the device is
// done with it (or it was never queued); otherwise watches the device's
// frame (the clock gives it up once it stands still) and waits for its
// signal.
static void soundFeedDevice()
{
    WAVEHDR* header = &soundHeaders[soundNextBuffer];
    // The device sets WHDR_DONE from its own thread.
    DWORD flags = *static_cast<volatile DWORD*>(&header->dwFlags);
    if ((flags & WHDR_PREPARED) != 0 && (flags & WHDR_DONE) == 0) {
        if (musicClockWatch(soundSteadyUs(), soundDeviceUs()) != MUSIC_CLOCK_LOST)
            WaitForSingleObject(soundWakeup, SOUND_WAIT_MS);
        return;
    }
    soundRender(soundBuffers[soundNextBuffer]);
    if ((flags & WHDR_PREPARED) == 0) {
        header->lpData = reinterpret_cast<LPSTR>(soundBuffers[soundNextBuffer]);
        header->dwBufferLength = SOUND_BUFFER_FRAMES * SOUND_BYTES_PER_FRAME;
        header->dwFlags = 0;
        waveOutPrepareHeader(soundDevice, header, sizeof *header);
    }
    waveOutWrite(soundDevice, header, sizeof *header);
    soundNextBuffer = (soundNextBuffer + 1) % SOUND_BUFFER_COUNT;
}

// Render thread, on the stand-in: keeps SOUND_BUFFER_COUNT buffers rendered
// ahead of it, as a device would hold them; the sound is dropped. Without
// a device the stand-in starts with the first render, as a device would.
static void soundFeedClock()
{
    int64_t nowUs = soundSteadyUs();
    if (soundFramesRendered == 0)
        musicClockStandIn(0, nowUs);
    if (musicClockFramesDue(nowUs) <= -SOUND_BUFFER_COUNT * SOUND_BUFFER_FRAMES) {
        Sleep(static_cast<DWORD>(SOUND_BUFFER_FRAMES * 500 / soundFrequency));
        return;
    }
    soundRender(soundBuffers[0]);
}

// Render thread: its whole life.
static DWORD WINAPI soundRenderThread(LPVOID)
{
    for (;;) {
        soundCheckClosing();
        if ((soundPlayRequest.load(std::memory_order_relaxed) >> 32) == 0) {
            WaitForSingleObject(soundWakeup, SOUND_WAIT_MS);
            continue;
        }
        soundTakeRequest();
        if (musicClockStandingIn())
            soundFeedClock();
        else
            soundFeedDevice();
    }
}

// Main thread, at process exit: asks the render thread to let go of the
// module and waits a while for it, so that no render runs while the
// runtime's and libopenmpt's statics go away.
static void soundAtExit()
{
    soundClosing.store(true, std::memory_order_relaxed);
    WaitForSingleObject(soundLetGo, SOUND_EXIT_WAIT_MS);
}

// --- the calls of platform.h ----------------------------------------------

// Main thread, start-up. Falls back to the steady clock when no device
// opens; false only when called twice or with no frequency.
bool platSoundInit(int device, int frequency)
{
    if (soundInitDone || frequency <= 0)
        return false;
    soundWakeup = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    soundLetGo = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (soundWakeup == nullptr || soundLetGo == nullptr)
        return false;
    WAVEFORMATEX format;
    memset(&format, 0, sizeof format);
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = SOUND_CHANNELS;
    format.nSamplesPerSec = static_cast<DWORD>(frequency);
    format.wBitsPerSample = 16;
    format.nBlockAlign = SOUND_BYTES_PER_FRAME;
    format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
    UINT id = device < 0 ? WAVE_MAPPER : static_cast<UINT>(device);
    HWAVEOUT opened = nullptr;
    if (waveOutOpen(&opened, id, &format, reinterpret_cast<DWORD_PTR>(soundWakeup), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR)
        opened = nullptr;
    // Nothing plays until platSoundStart.
    if (opened != nullptr)
        waveOutPause(opened);
    soundDevice = opened;
    soundFrequency = frequency;
    LARGE_INTEGER rate;
    QueryPerformanceFrequency(&rate);
    soundCounterRate = rate.QuadPart;
    musicClockOpen(frequency, SOUND_LOST_MS * 1000, SOUND_LOST_MS * 1000);
    if (opened == nullptr)
        musicClockStandIn(0, soundSteadyUs());
    soundInitDone = true;
    return true;
}

// Main thread, start-up, before platSoundStart: the render thread takes the
// module over when it starts, so a load after that is refused.
uint32_t platMusicLoad(const void* data, size_t length, bool loop)
{
    if (!data || length == 0 || soundStarted || soundModule)
        return 0;
    openmpt_module* module = openmpt_module_create_from_memory2(
        data, length, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr, nullptr,
        nullptr, nullptr);
    if (!module)
        return 0;
    openmpt_module_set_repeat_count(module, loop ? -1 : 0);
    soundModule = module;
    soundMusicHandle.store(1, std::memory_order_relaxed);
    return 1;
}

// Main thread, start-up: starts the device (or the clock) and the render
// thread, which queues nothing until platMusicPlay.
bool platSoundStart()
{
    if (!soundInitDone || soundStarted)
        return false;
    if (soundModule == nullptr)
        return false;
    soundThread = CreateThread(nullptr, 0, soundRenderThread, nullptr, 0, nullptr);
    if (soundThread == nullptr)
        return false;
    SetThreadPriority(soundThread, THREAD_PRIORITY_TIME_CRITICAL);
    soundStarted = true;
    atexit(soundAtExit);
    if (soundDevice != nullptr)
        waveOutRestart(soundDevice);
    soundRunning.store(true, std::memory_order_relaxed);
    return true;
}

// Main thread: asks the render thread to play from position at its next
// sub-block, and wakes it in case it waits for the first request.
bool platMusicPlay(uint32_t music, uint32_t position)
{
    if (music == 0 || music != soundMusicHandle.load(std::memory_order_relaxed) || !soundStarted)
        return false;
    uint64_t serial = (soundPlayRequest.load(std::memory_order_relaxed) >> 32) + 1;
    soundPlayRequest.store((serial << 32) | position, std::memory_order_relaxed);
    SetEvent(soundWakeup);
    return true;
}

// Any thread: the position of the latest sub-block that began at or before
// the frame the device plays now (the stand-in's, once it plays).
uint32_t platMusicPosition(uint32_t music)
{
    if (music == 0 || music != soundMusicHandle.load(std::memory_order_relaxed))
        return SOUND_NO_POSITION;
    if (!soundRunning.load(std::memory_order_relaxed))
        return SOUND_NO_POSITION;
    int64_t deviceUs = musicClockStandingIn() ? MUSIC_CLOCK_UNKNOWN : soundDeviceUs();
    return musicClockPosition(soundSteadyUs(), deviceUs);
}

// Any thread: what the queue holds before a render is heard.
int platSoundLatencyUs()
{
    if (!soundRunning.load(std::memory_order_relaxed))
        return -1;
    return static_cast<int>(static_cast<int64_t>(SOUND_BUFFER_COUNT) * SOUND_BUFFER_FRAMES *
                            1000000 / soundFrequency);
}

// Any thread.
bool platSoundHasDevice()
{
    return soundRunning.load(std::memory_order_relaxed) && !musicClockStandingIn();
}

// Any thread: the clock's trail in frames, rounded.
int platSoundLastTrailFrames()
{
    int64_t trailUs = musicClockTrailUs();
    return trailUs < 0 ? -1 : static_cast<int>((trailUs * soundFrequency + 500000) / 1000000);
}
