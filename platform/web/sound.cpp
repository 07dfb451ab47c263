// The sound calls of platform.h in the page: libopenmpt (built for
// WebAssembly) renders on the page's one thread, Web Audio plays, and the
// music's clock (musicclock.h) keeps what is heard when.
//
// Output: the music is rendered a chunk at a time into audio buffers that
// are scheduled back to back on the audio context's clock, up to
// SOUND_AHEAD_S ahead of it. The browser plays a scheduled buffer on its own
// audio thread, so a slow frame or a late tick costs nothing while it is
// shorter than what is queued; a longer stall leaves a gap, after which the
// music goes on from where it stopped (sound.cpp counts it as an underrun).
// The queue is topped up at every tick, every animation frame and every
// buffer that ends (an event, which a hidden tab still gets, unlike its
// throttled timeouts).
//
// Position: device time is the context's time. Each sub-block is stamped
// with the context time at which it plays; the time heard is the browser's
// output time stamp (or the context's clock less its latencies), taken at
// the tick's own deadline when a tick runs late.
//
// No sound (no audio context, or one that does not run): as on the other
// platforms, the clock's stand-in plays on the page clock instead. The
// module is rendered, and the sound dropped, up to the moment each position
// query asks about, so the position, the flashes and the end cue keep
// time, silent. A context whose clock does not start within
// SOUND_START_US of the play call (a browser that refuses it; Firefox
// takes over a second to open a PulseAudio stream), or stands still for
// SOUND_STALL_US once it ran (a device gone), hands over to the stand-in,
// from where the music was heard, at the moment it was heard.
//
// Main thread only (the page's).
#include "platform/tools.h"

#include <emscripten.h>
#include <libopenmpt/libopenmpt.h>

#include <cmath>

#include "platform/musicclock.h"
#include "platform/web/page.h"

enum {
    SOUND_SUBBLOCK_FRAMES = 128,  // frames a stamp: 2.9 ms at 44.1 kHz, the most a position trails
    SOUND_CHUNK_SUBBLOCKS = 16,   // sub-blocks an audio buffer: 2048 frames, 46 ms
    SOUND_CHUNK_FRAMES = SOUND_SUBBLOCK_FRAMES * SOUND_CHUNK_SUBBLOCKS,
    SOUND_MAX_CHUNKS = 12,  // chunks one top-up renders at most (0.56 s at 44.1 kHz)
};
static const double SOUND_AHEAD_S = 1.0;  // scheduled ahead of the context's clock
static const double SOUND_LEAD_S = 0.03;  // the first buffer (or one after a gap) starts this late
static const int64_t SOUND_START_US = 3000000;  // a context clock not started by then has failed
static const int64_t SOUND_STALL_US = 1000000;  // one that ran and stood still this long has too
static const uint32_t NO_POSITION = 0xFFFFFFFFu;

// ------------------------------------------------------------------ state
static openmpt_module* soundModule;  // the loaded module; 0 before any
static uint32_t musicHandle;         // its handle
static bool soundPlaying;            // from platMusicPlay until the show ends
static bool soundAudio;              // true: the audio context plays; false: the stand-in
static int soundRate;                // Hz, the context's (or the show's, silent)
static double nextStartS;            // audio: context time at which the next chunk plays
static bool firstChunkQueued;        // audio: a chunk went out since the play call
static double queuedS;               // audio: scheduled past the clock at the last top-up
static int underrunCount;            // audio: gaps since the play call
static float chunkLeft[SOUND_CHUNK_FRAMES], chunkRight[SOUND_CHUNK_FRAMES];

// The audio context lives in the page (Module.weruleAudio, made by
// shell.html at the start click, so that it starts while the show does).
// clang-format off
EM_JS(int, jsAudioOpen, (), {
    var audio = Module.weruleOpenAudio();
    return audio.context ? audio.context.sampleRate | 0 : 0;
});

EM_JS(double, jsAudioClock, (), {
    var context = Module.weruleAudio.context;
    return context.state === "running" ? context.currentTime : -1;
});

// The context time heard lateMs ago: the output time stamp carried forward
// on the page clock, and no later than the context's clock less its
// latencies where the browser tells them (some stamps leave the output's
// own latency out). NaN while the context does not run.
EM_JS(double, jsAudioHeard, (double lateMs), {
    var context = Module.weruleAudio.context;
    if (context.state !== "running") return NaN;
    var now = performance.now() - lateMs;
    var heard = context.currentTime - lateMs / 1000 - (context.baseLatency || 0) -
                (context.outputLatency || 0);
    if (context.getOutputTimestamp) {
        var stamp = context.getOutputTimestamp();
        if (stamp.performanceTime > 0) {
            heard = Math.min(heard, stamp.contextTime + (now - stamp.performanceTime) / 1000);
        }
    }
    return heard;
});

// Plays frames of the two channels at context time start, or, where the
// context's clock has already reached that (it moves in bursts of the
// audio thread's), lead seconds after its time now, on a whole frame;
// returns the start taken. Its end tops up the queue.
EM_JS(double, jsAudioQueue, (const float* left, const float* right, int frames, int rate,
                             double start, double lead), {
    var audio = Module.weruleAudio;
    var buffer = audio.context.createBuffer(2, frames, rate);
    buffer.copyToChannel(HEAPF32.subarray(left >> 2, (left >> 2) + frames), 0);
    buffer.copyToChannel(HEAPF32.subarray(right >> 2, (right >> 2) + frames), 1);
    var source = audio.context.createBufferSource();
    source.buffer = buffer;
    source.connect(audio.context.destination);
    source.onended = function() {
        var at = audio.sources.indexOf(source);
        if (at >= 0) audio.sources.splice(at, 1);
        Module._webSoundTopUp();
    };
    if (start < audio.context.currentTime + lead / 3) {
        start = Math.ceil((audio.context.currentTime + lead) * rate) / rate;
    }
    source.start(start);
    audio.sources.push(source);
    var stats = Module.weruleStats;
    if (stats.audioFirstStartS < 0) stats.audioFirstStartS = start;
    return start;
});

// Stops every buffer still playing or waiting.
EM_JS(void, jsAudioStop, (), {
    var audio = Module.weruleAudio;
    if (!audio) return;
    var sources = audio.sources;
    audio.sources = [];
    sources.forEach(function(source) {
        source.onended = null;
        try { source.stop(); } catch (error) {}
    });
});

EM_JS(void, jsAudioReport, (int playing, int rate, double queuedS, int underruns, int silent), {
    var stats = Module.weruleStats;
    stats.audioRate = rate;
    stats.audioQueuedMs = queuedS * 1000;
    if (queuedS * 1000 > stats.audioQueuedMaxMs) stats.audioQueuedMaxMs = queuedS * 1000;
    stats.audioUnderruns = underruns;
    stats.audioSilent = silent !== 0;
    stats.audioPlaying = playing !== 0;
});
// Lets the context rest between shows: a running one keeps the output
// device open, playing silence. The next start gesture resumes it.
EM_JS(void, jsAudioRest, (), {
    var audio = Module.weruleAudio;
    if (audio && audio.context && audio.context.suspend) {
        audio.context.suspend().catch(function() {});
    }
});

// Keeps each new position answered, as the page's record of the show.
EM_JS(void, jsPositionHeard, (uint32_t position), {
    var positions = Module.weruleStats.positions;
    if (positions.length === 0 || positions[positions.length - 1] !== position) {
        positions.push(position);
    }
});
// clang-format on

double webNowMs()
{
    return emscripten_get_now();
}

// ------------------------------------------------------------------ clocks

// Seconds as the clock's microseconds, rounded down; NaN as unknown.
static int64_t microseconds(double seconds)
{
    return std::isnan(seconds) ? MUSIC_CLOCK_UNKNOWN
                               : static_cast<int64_t>(std::floor(seconds * 1000000));
}

// The page clock's milliseconds as microseconds.
static int64_t pageUs(double ms)
{
    return microseconds(ms / 1000);
}

static uint32_t modulePosition()
{
    const uint32_t order = static_cast<uint32_t>(openmpt_module_get_current_order(soundModule));
    const uint32_t row = static_cast<uint32_t>(openmpt_module_get_current_row(soundModule));
    return (order & 0xFFFFu) | (row << 16);
}

// Renders the next chunk into chunkLeft/chunkRight, and the position at
// the start of each of its sub-blocks into positions (the frames past the
// end of a module that does not loop are silence).
static void renderChunk(uint32_t* positions)
{
    for (int block = 0; block < SOUND_CHUNK_SUBBLOCKS; ++block) {
        const int at = block * SOUND_SUBBLOCK_FRAMES;
        positions[block] = modulePosition();
        const size_t got = openmpt_module_read_float_stereo(
            soundModule, soundRate, SOUND_SUBBLOCK_FRAMES, chunkLeft + at, chunkRight + at);
        for (int frame = at + static_cast<int>(got); frame < at + SOUND_SUBBLOCK_FRAMES; ++frame) {
            chunkLeft[frame] = 0;
            chunkRight[frame] = 0;
        }
    }
}

// The context's clock gave up (the clock's stand-in took over): what is
// still queued is stopped.
static void handOverToClock()
{
    jsAudioStop();
    soundAudio = false;
    jsAudioReport(1, soundRate, 0, underrunCount, 1);
}

// Audio: keeps SOUND_AHEAD_S scheduled past the context's clock, whenever
// the time heard has moved.
static void topUpAudio()
{
    const int watch = musicClockWatch(pageUs(webNowMs()), microseconds(jsAudioHeard(0)));
    if (watch == MUSIC_CLOCK_LOST) {
        handOverToClock();
        return;
    }
    if (watch != MUSIC_CLOCK_MOVED) {
        return;
    }
    // When the queue has run dry (or nothing went out yet), the page
    // takes the next start after a lead.
    const double nowS = jsAudioClock();
    bool gap = false;
    for (int chunk = 0; chunk < SOUND_MAX_CHUNKS && nextStartS < nowS + SOUND_AHEAD_S; ++chunk) {
        uint32_t positions[SOUND_CHUNK_SUBBLOCKS];
        renderChunk(positions);
        const double startS = jsAudioQueue(chunkLeft, chunkRight, SOUND_CHUNK_FRAMES, soundRate,
                                           nextStartS, SOUND_LEAD_S);
        gap |= firstChunkQueued && startS != nextStartS;
        musicClockStamp(positions, SOUND_SUBBLOCK_FRAMES, SOUND_CHUNK_FRAMES, microseconds(startS));
        firstChunkQueued = true;
        nextStartS = startS + static_cast<double>(SOUND_CHUNK_FRAMES) / soundRate;
    }
    if (gap) {
        ++underrunCount;
    }
    queuedS = nextStartS - nowS;
    jsAudioReport(1, soundRate, queuedS, underrunCount, 0);
}

// Silent: renders, and drops, every chunk that begins by atUs on the page
// clock.
static void advanceSilent(int64_t atUs)
{
    while (musicClockFramesDue(atUs) >= 0) {
        uint32_t positions[SOUND_CHUNK_SUBBLOCKS];
        renderChunk(positions);
        musicClockStamp(positions, SOUND_SUBBLOCK_FRAMES, SOUND_CHUNK_FRAMES, MUSIC_CLOCK_NEXT);
    }
}

static void topUp()
{
    if (soundPlaying && soundModule != nullptr && soundAudio) {
        topUpAudio();
    }
}

extern "C" EMSCRIPTEN_KEEPALIVE void webSoundTopUp()
{
    topUp();
}

// The position stays where the music was heard as it stops.
void webStopSound()
{
    if (soundPlaying) {
        const double nowMs = webNowMs();
        musicClockRest(musicClockPosition(pageUs(nowMs), soundAudio ? microseconds(jsAudioHeard(0))
                                                                    : MUSIC_CLOCK_UNKNOWN));
    }
    soundPlaying = false;
    jsAudioStop();
    jsAudioRest();
    jsAudioReport(0, soundRate, 0, underrunCount, soundAudio ? 0 : 1);
}

// ------------------------------------------------------------ the calls

// The context is created (or resumed) here, inside the viewer's start
// gesture, which browsers ask of a page before it may play sound.
bool platSoundInit(int, int frequency)
{
    if (frequency <= 0) {
        return false;
    }
    const int rate = jsAudioOpen();
    soundAudio = rate > 0;
    soundRate = soundAudio ? rate : frequency;
    musicClockOpen(soundRate, SOUND_START_US, SOUND_STALL_US);
    return true;
}

uint32_t platMusicLoad(const void* data, size_t length, bool loop)
{
    if (data == nullptr || length == 0) {
        return 0;
    }
    openmpt_module* module = openmpt_module_create_from_memory2(
        data, length, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr, nullptr,
        nullptr, nullptr);
    if (module == nullptr) {
        return 0;
    }
    openmpt_module_set_repeat_count(module, loop ? -1 : 0);
    soundPlaying = false;
    jsAudioStop();
    if (soundModule != nullptr) {
        openmpt_module_destroy(soundModule);
    }
    soundModule = module;
    musicClockRest(0);
    ++musicHandle;
    if (musicHandle == 0) {
        musicHandle = 1;
    }
    return musicHandle;
}

bool platSoundStart()
{
    return soundRate > 0;
}

bool platMusicPlay(uint32_t music, uint32_t position)
{
    if (music == 0 || music != musicHandle || soundRate <= 0) {
        return false;
    }
    jsAudioStop();
    openmpt_module_set_position_order_row(soundModule, static_cast<int32_t>(position & 0xFFFFu),
                                          static_cast<int32_t>(position >> 16));
    const int64_t nowUs = pageUs(webNowMs());
    musicClockPlay(position, true, nowUs);
    if (!soundAudio) {
        musicClockStandIn(nowUs, nowUs);  // silent from the play call, on the page clock
    }
    soundPlaying = true;
    underrunCount = 0;
    firstChunkQueued = false;
    nextStartS = 0;
    queuedS = 0;
    jsAudioReport(1, soundRate, 0, 0, soundAudio ? 0 : 1);
    topUp();
    return true;
}

uint32_t platMusicPosition(uint32_t music)
{
    if (music == 0 || music != musicHandle) {
        return NO_POSITION;
    }
    topUp();
    // A tick hears the music as at its own deadline, however late it runs.
    const double tickMs = webTickTimeMs();
    const double nowMs = webNowMs();
    const double atMs = tickMs >= 0 ? tickMs : nowMs;
    int64_t deviceUs = MUSIC_CLOCK_UNKNOWN;
    if (soundPlaying && soundAudio) {
        deviceUs = microseconds(jsAudioHeard(nowMs - atMs));
    } else if (soundPlaying) {
        advanceSilent(pageUs(atMs));
    }
    const uint32_t position = musicClockPosition(pageUs(atMs), deviceUs);
    if (soundPlaying) {
        jsPositionHeard(position);
    }
    return position;
}

int platSoundLatencyUs()
{
    if (soundRate <= 0) {
        return -1;
    }
    // Silent, nothing is heard, so nothing lies between render and ear;
    // else what was queued ahead of the context's clock.
    return soundAudio ? static_cast<int>(queuedS * 1000000) : 0;
}
