// The sound calls of platform.h over libopenmpt (rendering) and waveOut
// (output). One module, one output device for the whole process.
//
// Threads: platSoundInit, platMusicLoad and platSoundStart run on the main
// thread at start-up; platSoundStart starts the render thread, and from then
// on that thread alone touches the module. From the first play request on
// it keeps SOUND_BUFFER_COUNT buffers queued on the device, woken by the
// device's event (the waveOut callback only signals), and publishes in a
// ring of relaxed atomics the position at the start of every sub-block with
// the device frame at which it will be heard. platMusicPlay leaves its
// request for the render thread and wakes it. Nothing is queued before the
// first request, so the device's first frame is the music's first.
// platMusicPosition (any thread, the cue timer's in the show) asks the device
// which frame it plays now (waveOutGetPosition, TIME_SAMPLES) and answers the
// position of the latest sub-block that began at or before that frame: never
// ahead of what is heard, at most one sub-block behind.
//
// No device: the render thread renders as fast as a steady clock
// (QueryPerformanceCounter, started at the first render) plays, and the
// clock stands for the device's frame count, so the position, the cues and
// the end come on time, unheard.
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

#include "platform/platform.h"

enum {
    SOUND_CHANNELS = 2,
    SOUND_BYTES_PER_FRAME = 4,    // 16-bit stereo
    SOUND_BUFFER_FRAMES = 1024,   // frames per queued buffer: 23.2 ms at 44,100 Hz
    SOUND_BUFFER_COUNT = 16,      // buffers queued on the device: 371.5 ms
    SOUND_SUBBLOCK_FRAMES = 128,  // frames per published position: 2.9 ms, the most it trails
    SOUND_RING_SLOTS = 256,       // published positions kept: twice those queued
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
static int soundRingNext;             // next ring slot to write
static uint32_t soundWatchFrame;      // the device's frame when last seen to change
static int64_t soundWatchSince;       // counter value when it changed to that; 0: not yet seen
// Any thread:
// Written by platSoundInit before any other thread starts, read after:
static std::atomic<HWAVEOUT> soundDevice{nullptr};  // the output device; null: the clock plays
static std::atomic<int> soundFrequency{0};          // Hz, as the device or clock was opened
static std::atomic<uint32_t> soundMusicHandle{0};   // handle of soundModule, 0 for none
static std::atomic<uint32_t> soundRestPosition{0};  // position answered before anything is heard
// The latest play request: its count (1 on) in the high 32 bits, its start
// position (order low, row high) in the low 32 bits; 0: none yet.
static std::atomic<uint64_t> soundPlayRequest{0};
static std::atomic<bool> soundRunning{false};     // output started: positions are answered
static std::atomic<bool> soundClosing{false};     // process exit: the module is off limits
static std::atomic<int64_t> soundClockStart{0};   // no device: counter value at the first render
static std::atomic<int64_t> soundClockRate{1};    // no device: counter ticks per second
static std::atomic<int64_t> soundRenderedEnd{0};  // frames rendered, counted by sub-blocks
static std::atomic<int32_t> soundLastTrail{-1};   // last query: frames between slot and device
// One slot: one more than the device frame (low 32 bits) at which the
// sub-block begins, in the high 32 bits; its position in the low 32 bits;
// 0 when empty.
static std::atomic<uint64_t> soundRing[SOUND_RING_SLOTS];

// --- helpers -------------------------------------------------------------

// Any thread: the frame the device plays now, counted from its first
// buffer; false when it does not tell.
static bool soundDeviceFrame(HWAVEOUT device, uint32_t* frame)
{
    MMTIME time;
    memset(&time, 0, sizeof time);
    time.wType = TIME_SAMPLES;
    if (waveOutGetPosition(device, &time, sizeof time) != MMSYSERR_NOERROR)
        return false;
    if (time.wType == TIME_SAMPLES)
        *frame = time.u.sample;
    else if (time.wType == TIME_BYTES)
        *frame = time.u.cb / SOUND_BYTES_PER_FRAME;
    else
        return false;
    return true;
}

// Any thread: the frame the output plays now, counted from platSoundStart;
// false when the device does not tell.
static bool soundHeardFrame(uint32_t* frame)
{
    HWAVEOUT device = soundDevice.load(std::memory_order_relaxed);
    int64_t frequency = soundFrequency.load(std::memory_order_relaxed);
    if (device == nullptr) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        int64_t ticks = now.QuadPart - soundClockStart.load(std::memory_order_relaxed);
        int64_t rate = soundClockRate.load(std::memory_order_relaxed);
        // Whole seconds and the rest apart, so the product cannot overflow.
        int64_t frames = ticks / rate * frequency + ticks % rate * frequency / rate;
        // Like a device, the clock plays nothing that is not rendered yet; a
        // render thread that was held up renders the frames it missed.
        int64_t rendered = soundRenderedEnd.load(std::memory_order_relaxed);
        *frame = static_cast<uint32_t>(frames < rendered ? frames : rendered);
        return true;
    }
    return soundDeviceFrame(device, frame);
}

// Render thread: the position at the next frame to be rendered.
static uint32_t soundModulePosition()
{
    uint32_t order = static_cast<uint32_t>(openmpt_module_get_current_order(soundModule));
    uint32_t row = static_cast<uint32_t>(openmpt_module_get_current_row(soundModule));
    return (order & 0xFFFFu) | (row << 16);
}

// Render thread: records that position begins to be heard at device frame.
static void soundPublish(int64_t frame, uint32_t position)
{
    uint64_t mark = static_cast<uint64_t>(static_cast<uint32_t>(frame) + 1u);
    soundRing[soundRingNext].store((mark << 32) | position, std::memory_order_relaxed);
    soundRingNext = (soundRingNext + 1) % SOUND_RING_SLOTS;
}

// Render thread: fills one buffer of frames, sub-block by sub-block, each
// published first with the frame it will be heard at. Once the process
// exits, the buffer is silence at the rest position.
static void soundRender(int16_t* out)
{
    for (int done = 0; done < SOUND_BUFFER_FRAMES; done += SOUND_SUBBLOCK_FRAMES) {
        int16_t* block = out + done * SOUND_CHANNELS;
        size_t blockBytes = SOUND_SUBBLOCK_FRAMES * SOUND_BYTES_PER_FRAME;
        int64_t frame = soundFramesRendered + done;
        soundRenderedEnd.store(frame, std::memory_order_relaxed);
        uint64_t request = soundPlayRequest.load(std::memory_order_relaxed);
        uint32_t serial = static_cast<uint32_t>(request >> 32);
        if (soundClosing.load(std::memory_order_relaxed)) {
            soundPublish(frame, soundRestPosition.load(std::memory_order_relaxed));
            memset(block, 0, blockBytes);
            continue;
        }
        if (serial != soundPlaySerialSeen) {
            soundPlaySerialSeen = serial;
            uint32_t start = static_cast<uint32_t>(request);
            openmpt_module_set_position_order_row(soundModule,
                                                  static_cast<int32_t>(start & 0xFFFFu),
                                                  static_cast<int32_t>(start >> 16));
        }
        soundPublish(frame, soundModulePosition());
        size_t got = openmpt_module_read_interleaved_stereo(
            soundModule, soundFrequency.load(std::memory_order_relaxed), SOUND_SUBBLOCK_FRAMES,
            block);
        if (got < SOUND_SUBBLOCK_FRAMES)
            memset(block + got * SOUND_CHANNELS, 0,
                   (SOUND_SUBBLOCK_FRAMES - got) * SOUND_BYTES_PER_FRAME);
    }
    soundFramesRendered += SOUND_BUFFER_FRAMES;
    soundRenderedEnd.store(soundFramesRendered, std::memory_order_relaxed);
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

// Render thread, while every buffer waits on the device: true once the
// device's frame has stood still for SOUND_LOST_MS. Then the steady clock
// is set to play that frame at the moment it was first seen, and takes
// over from the device for good.
static bool soundDeviceLost(HWAVEOUT device)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint32_t frame = soundWatchFrame;
    bool told = soundDeviceFrame(device, &frame);
    if (soundWatchSince == 0 || (told && frame != soundWatchFrame)) {
        soundWatchFrame = frame;
        soundWatchSince = now.QuadPart;
        return false;
    }
    int64_t rate = soundClockRate.load(std::memory_order_relaxed);
    if ((now.QuadPart - soundWatchSince) * 1000 / rate < SOUND_LOST_MS)
        return false;
    int64_t frequency = soundFrequency.load(std::memory_order_relaxed);
    int64_t heard = soundWatchFrame;
    int64_t ticks = heard / frequency * rate + heard % frequency * rate / frequency;
    soundClockStart.store(soundWatchSince - ticks, std::memory_order_relaxed);
    soundDevice.store(nullptr, std::memory_order_relaxed);
    return true;
}

// Render thread, with a device: queues the next buffer once the device is
// done with it (or it was never queued); otherwise waits for the device's
// signal.
static void soundFeedDevice(HWAVEOUT device)
{
    WAVEHDR* header = &soundHeaders[soundNextBuffer];
    // The device sets WHDR_DONE from its own thread.
    DWORD flags = *static_cast<volatile DWORD*>(&header->dwFlags);
    if ((flags & WHDR_PREPARED) != 0 && (flags & WHDR_DONE) == 0) {
        if (!soundDeviceLost(device))
            WaitForSingleObject(soundWakeup, SOUND_WAIT_MS);
        return;
    }
    soundRender(soundBuffers[soundNextBuffer]);
    if ((flags & WHDR_PREPARED) == 0) {
        header->lpData = reinterpret_cast<LPSTR>(soundBuffers[soundNextBuffer]);
        header->dwBufferLength = SOUND_BUFFER_FRAMES * SOUND_BYTES_PER_FRAME;
        header->dwFlags = 0;
        waveOutPrepareHeader(device, header, sizeof *header);
    }
    waveOutWrite(device, header, sizeof *header);
    soundNextBuffer = (soundNextBuffer + 1) % SOUND_BUFFER_COUNT;
}

// Render thread, without a device: keeps SOUND_BUFFER_COUNT buffers rendered
// ahead of the steady clock, as a device would hold them; the sound is
// dropped. The clock starts with the first render, as a device would.
static void soundFeedClock()
{
    if (soundFramesRendered == 0) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        soundClockStart.store(now.QuadPart, std::memory_order_relaxed);
    }
    uint32_t heard = 0;
    soundHeardFrame(&heard);
    int64_t ahead = soundFramesRendered - static_cast<int64_t>(heard);
    if (ahead >= SOUND_BUFFER_COUNT * SOUND_BUFFER_FRAMES) {
        Sleep(static_cast<DWORD>(SOUND_BUFFER_FRAMES * 500 /
                                 soundFrequency.load(std::memory_order_relaxed)));
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
        HWAVEOUT device = soundDevice.load(std::memory_order_relaxed);
        if (device != nullptr)
            soundFeedDevice(device);
        else
            soundFeedClock();
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
    soundDevice.store(opened, std::memory_order_relaxed);
    soundFrequency.store(frequency, std::memory_order_relaxed);
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
    soundRestPosition.store(0, std::memory_order_relaxed);
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
    LARGE_INTEGER rate;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&rate);
    QueryPerformanceCounter(&now);
    soundClockRate.store(rate.QuadPart, std::memory_order_relaxed);
    soundClockStart.store(now.QuadPart, std::memory_order_relaxed);  // until the first render
    soundThread = CreateThread(nullptr, 0, soundRenderThread, nullptr, 0, nullptr);
    if (soundThread == nullptr)
        return false;
    SetThreadPriority(soundThread, THREAD_PRIORITY_TIME_CRITICAL);
    soundStarted = true;
    atexit(soundAtExit);
    HWAVEOUT device = soundDevice.load(std::memory_order_relaxed);
    if (device != nullptr)
        waveOutRestart(device);
    soundRunning.store(true, std::memory_order_relaxed);
    return true;
}

// Main thread: asks the render thread to play from position at its next
// sub-block, and wakes it in case it waits for the first request.
bool platMusicPlay(uint32_t music, uint32_t position)
{
    if (music == 0 || music != soundMusicHandle.load(std::memory_order_relaxed) || !soundStarted)
        return false;
    soundRestPosition.store(position, std::memory_order_relaxed);
    uint64_t serial = (soundPlayRequest.load(std::memory_order_relaxed) >> 32) + 1;
    soundPlayRequest.store((serial << 32) | position, std::memory_order_relaxed);
    SetEvent(soundWakeup);
    return true;
}

// Any thread: the position of the latest sub-block that began at or before
// the frame the device plays now.
uint32_t platMusicPosition(uint32_t music)
{
    if (music == 0 || music != soundMusicHandle.load(std::memory_order_relaxed))
        return SOUND_NO_POSITION;
    if (!soundRunning.load(std::memory_order_relaxed))
        return SOUND_NO_POSITION;
    uint32_t best = soundRestPosition.load(std::memory_order_relaxed);
    uint32_t heard = 0;
    if (!soundHeardFrame(&heard))
        return best;
    uint32_t bestAge = 0xFFFFFFFFu;
    for (auto& ring : soundRing) {
        uint64_t slot = ring.load(std::memory_order_relaxed);
        if (slot == 0)
            continue;
        uint32_t begins = static_cast<uint32_t>(slot >> 32) - 1u;
        uint32_t age = heard - begins;
        if (static_cast<int32_t>(age) < 0 || age >= bestAge)
            continue;
        bestAge = age;
        best = static_cast<uint32_t>(slot);
    }
    soundLastTrail.store(bestAge == 0xFFFFFFFFu ? -1 : static_cast<int32_t>(bestAge),
                         std::memory_order_relaxed);
    return best;
}

// Any thread: what the queue holds before a render is heard.
int platSoundLatencyUs()
{
    if (!soundRunning.load(std::memory_order_relaxed))
        return -1;
    return static_cast<int>(static_cast<int64_t>(SOUND_BUFFER_COUNT) * SOUND_BUFFER_FRAMES *
                            1000000 / soundFrequency.load(std::memory_order_relaxed));
}

// Any thread.
bool platSoundHasDevice()
{
    return soundRunning.load(std::memory_order_relaxed) &&
           soundDevice.load(std::memory_order_relaxed) != nullptr;
}

// Any thread.
int platSoundLastTrailFrames()
{
    return soundLastTrail.load(std::memory_order_relaxed);
}
