// sync-analyse DIR DRIVER [--quick]
// The benchmark's figures from what sync-watch and bench_sync.sh left in
// DIR: the module rendered offline locates each cue row's sound in the
// recording (align.h), the recording's stamps and the server's latencies
// say when that sound left the sink, and screen.txt says when each flash
// reached the screen and when the window closed. Prints one line per cue,
// the median and spread of flash minus sound, the end cue, and
// "SYNC DRIVER flash-minus-sound median MS p95 MS cues N". One thread.
// --quick: the recording holds only the show's first seconds (no cue has
// come yet). The rows that begin on each whole second from 5 s on, while the
// recording lasts, stand in for the cues: each is located in the recording
// and dated as it left the sink just as a cue is, and listed; then
// "check points located: N of M" and the SYNC line with cues 0 (no flash).
// Exits 1 when none is located.
#include "assets/assets.h"
#include "bench/sync/align.h"
#include "platform/tools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

static const int FREQUENCY = 44100;
// The offline render reaches past the end cue (144.3 s).
static const int SCAN_MS = 146000;
// The envelope search at the start matches the first minute.
static const int COARSE_FRAMES = 60 * 44100;
// Frames the fine search compares: 3/4 before its point, 1/4 after.
static const int WINDOW = 16384;
// The fine search's reach: 30 ms around the start's lag, 250 ms around a
// cue's envelope lag (a dropout may lie in the envelope's span).
static const int FIRST_RADIUS = 1323;
static const int CUE_RADIUS = 11025;
// Each cue's envelope search: the 4 s of render before it, searched 2 s
// either side of the previous cue's lag.
static const int LOCAL_FRAMES = 4 * 44100;
static const int LOCAL_REACH = 2 * 44100;
// Reads within 1 s of a cue date its sound.
static const int STAMP_SPAN = 44100;
// A flash further than this from its cue's sound is missed.
static const int MATCH_MS = 250;
// The window closing counts for the end cue from this long before its sound.
static const double END_REACH_S = 10;
// 14 flash cues, then the end cue; in quick mode as many check points at most.
static const int CUE_COUNT = 15;
// Check points (--quick): from this second of the music on, one a second.
static const int CHECK_FROM_S = 5;

struct Cue {
    uint32_t order, row;
    int64_t renderFrame;  // the row's first frame in the offline render, -1 when never reached
    bool located;         // found in the recording
    double soundS;        // left the sink, seconds of the monotonic clock
    double screenS;       // flash on screen or window closed, seconds; 0 when not seen
};

// ---- state (the one thread)
static Cue cues[CUE_COUNT];
static int cueCount = CUE_COUNT;                  // in quick mode, the check points
static bool quickMode;                            // --quick: check points instead of cues
static std::vector<int16_t> recordSamples;        // the recording, interleaved stereo
static std::vector<int16_t> renderSamples;        // the offline render, interleaved stereo
static std::vector<int64_t> readNs, framesAfter;  // sync-watch's stamps
static std::vector<double> recordBufferUs, inputBufferUs, inputSinkUs;  // latencies seen
static std::vector<double> flashS, closedS;                             // screen events, seconds
static double stripChanges, watchedS;  // scene strip changes seen over watchedS seconds

static double median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Nearest-rank percentile.
static double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    size_t rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[rank > 0 ? rank - 1 : 0];
}

static bool readInputs(const char* dir)
{
    char path[4096];
    snprintf(path, sizeof path, "%s/record.raw", dir);
    FILE* file = fopen(path, "rb");
    if (!file)
        return false;
    int16_t block[8192];
    size_t got;
    while ((got = fread(block, sizeof(int16_t), 8192, file)) > 0)
        recordSamples.insert(recordSamples.end(), block, block + got);
    fclose(file);
    recordSamples.resize(recordSamples.size() / 2 * 2);

    snprintf(path, sizeof path, "%s/record.stamps", dir);
    if (!(file = fopen(path, "r")))
        return false;
    long long ns, bytes;
    while (fscanf(file, "%lld %lld", &ns, &bytes) == 2) {
        readNs.push_back(ns);
        framesAfter.push_back(bytes / 4);
    }
    fclose(file);

    snprintf(path, sizeof path, "%s/latency.txt", dir);
    if ((file = fopen(path, "r"))) {
        char line[256];
        while (fgets(line, sizeof line, file)) {
            double a, b;
            if (sscanf(line, "recbuffer %lf", &a) == 1)
                recordBufferUs.push_back(a);
            else if (sscanf(line, "input %lf %lf", &a, &b) == 2) {
                inputBufferUs.push_back(a);
                inputSinkUs.push_back(b);
            }
        }
        fclose(file);
    }

    snprintf(path, sizeof path, "%s/screen.txt", dir);
    if (!(file = fopen(path, "r")))
        return false;
    char line[256];
    while (fgets(line, sizeof line, file)) {
        if (sscanf(line, "flash %lld", &ns) == 1)
            flashS.push_back(static_cast<double>(ns) / 1e9);
        else if (sscanf(line, "closed %lld", &ns) == 1)
            closedS.push_back(static_cast<double>(ns) / 1e9);
        else
            sscanf(line, "changes %lf %lf", &stripChanges, &watchedS);
    }
    fclose(file);
    return true;
}

// The cue rows' first frames in the offline render, from its positions at
// every millisecond (a row begins within the millisecond before the first
// that shows it). In quick mode the check points: the rows playing at each
// whole second from CHECK_FROM_S on whose fine search's window ends a
// second (the silence after the show) before the recording does, musicFrames
// frames after the music's start.
static bool findCueFrames(int64_t musicFrames)
{
    std::vector<uint32_t> positions(SCAN_MS);
    if (!platMusicScanPositions(assetMusicIt, assetMusicItSize, FREQUENCY, 1, positions.data(),
                                SCAN_MS))
        return false;
    int n = 0;
    if (quickMode) {
        for (int second = CHECK_FROM_S; n < CUE_COUNT && second * 1000 <= SCAN_MS; second++) {
            if (static_cast<int64_t>(second + 1) * FREQUENCY + WINDOW / 4 > musicFrames)
                break;
            const uint32_t packed = positions[second * 1000 - 1];
            cues[n++] = {packed & 0xFFFFu, packed >> 16, -1, false, 0, 0};
        }
    } else {
        static const uint32_t ORDERS[] = {15, 17, 21, 23, 25, 27, 29};
        for (uint32_t order : ORDERS)
            for (uint32_t row : {52u, 56u})
                cues[n++] = {order, row, -1, false, 0, 0};
        cues[n++] = {29, 62, -1, false, 0, 0};
    }
    cueCount = n;
    for (int i = 0; i < cueCount; i++) {
        Cue& cue = cues[i];
        uint32_t packed = cue.order | (cue.row << 16);
        for (int step = 1; step <= SCAN_MS; step++) {
            if (positions[step - 1] == packed) {
                cue.renderFrame = (2 * static_cast<int64_t>(step) - 1) * FREQUENCY / 2000;
                break;
            }
        }
    }
    return true;
}

// The first frame with a sample above silence, or 0 when none.
static int64_t firstSound(const int16_t* samples, int64_t frames)
{
    for (int64_t frame = 0; frame < frames; frame++)
        if (std::abs(samples[frame * 2]) > 64 || std::abs(samples[frame * 2 + 1]) > 64)
            return frame;
    return 0;
}

int main(int argc, char** argv)
{
    quickMode = argc == 4 && strcmp(argv[3], "--quick") == 0;
    if (argc != 3 && !quickMode) {
        fprintf(stderr, "usage: sync-analyse DIR DRIVER [--quick]\n");
        return 2;
    }
    const char* driver = argv[2];
    if (!readInputs(argv[1]) || readNs.empty()) {
        fprintf(stderr, "sync-analyse: no recording in %s\n", argv[1]);
        return 1;
    }
    const int64_t renderFrames = static_cast<int64_t>(SCAN_MS) * FREQUENCY / 1000;
    renderSamples.resize(static_cast<size_t>(renderFrames) * 2);
    if (!platMusicRenderStereo(assetMusicIt, assetMusicItSize, FREQUENCY, 0, renderFrames,
                               renderSamples.data())) {
        fprintf(stderr, "sync-analyse: the module does not render\n");
        return 1;
    }
    const int64_t recordFrames = static_cast<int64_t>(recordSamples.size() / 2);
    const int16_t* render = renderSamples.data();
    const int16_t* record = recordSamples.data();

    // The music in the recording: where it starts out of silence, checked
    // sample by sample 2 s later; failing that, where the first minute's
    // envelope matches best. Then each cue from the previous one's lag on.
    const int64_t musicFrom = firstSound(render, renderFrames);
    int64_t lag = firstSound(record, recordFrames) - musicFrom;
    SyncMatch first = syncRefineLag(render, renderFrames, record, recordFrames,
                                    musicFrom + 2 * FREQUENCY, WINDOW, lag, FIRST_RADIUS);
    if (!first.found) {
        lag = syncCoarseLag(render, renderFrames, record, recordFrames, COARSE_FRAMES);
        first = syncRefineLag(render, renderFrames, record, recordFrames,
                              20 * FREQUENCY - WINDOW / 2, WINDOW, lag, FIRST_RADIUS);
    }
    if (lag < 0 || !first.found) {
        fprintf(stderr,
                "sync-analyse: the music is not in the recording (lag %lld frames, "
                "residual %.3f)\n",
                static_cast<long long>(lag), first.residual);
        return 1;
    }
    lag = first.lag;
    if (!findCueFrames(recordFrames - lag)) {
        fprintf(stderr, "sync-analyse: the module's positions cannot be scanned\n");
        return 1;
    }

    // The recording stream's latency as the server reports it: its buffer,
    // less the sink's latency, by which the monitor runs ahead of the sink
    // (pactl shows the monitor's negative latency as 0). The monitor takes
    // each block as the sink renders it, when the sink's latency is at its
    // largest: its 95th percentile while the intro's stream played.
    double sinkMaxUs = inputSinkUs.empty() ? 0 : percentile(inputSinkUs, 0.95);
    double recordBufferMedianUs = recordBufferUs.empty() ? 0 : median(recordBufferUs);
    int64_t recordLatencyNs = static_cast<int64_t>((recordBufferMedianUs - sinkMaxUs) * 1000);

    printf("driver %s: recording %.1f s in %zu reads; music starts at recording frame %lld\n",
           driver, static_cast<double>(recordFrames) / FREQUENCY, readNs.size(),
           static_cast<long long>(first.lag));
    std::vector<double> inputTotalUs;
    for (size_t i = 0; i < inputBufferUs.size(); i++)
        inputTotalUs.push_back(inputBufferUs[i] + inputSinkUs[i]);
    printf("server: sink latency %.2f ms (95th percentile of %zu), recording buffer %.2f ms; "
           "the intro's stream: buffer %.2f ms, sink %.2f ms, together %.2f to %.2f ms "
           "(medians, 5th to 95th percentile of %zu)\n",
           sinkMaxUs / 1000, inputSinkUs.size(), recordBufferMedianUs / 1000,
           median(inputBufferUs) / 1000, median(inputSinkUs) / 1000,
           percentile(inputTotalUs, 0.05) / 1000, percentile(inputTotalUs, 0.95) / 1000,
           inputBufferUs.size());

    if (watchedS > 0)
        printf("screen: the scene changed %.0f times in %.1f s (at least %.1f frames a second)\n",
               stripChanges, watchedS, stripChanges / watchedS);

    std::vector<bool> used(flashS.size(), false);
    std::vector<double> differencesMs, absoluteMs;
    printf("%5s %4s %10s %10s %12s %9s\n", "order", "row", "lag_ms", "sound_s", "screen-sound",
           "residual");
    int located = 0;
    for (int i = 0; i < cueCount; i++) {
        Cue& cue = cues[i];
        if (cue.renderFrame < 0) {
            printf("%5u %4u never reached offline\n", cue.order, cue.row);
            continue;
        }
        // Dropouts move the music later as the show goes on: the envelope
        // of the seconds before the cue first, then sample by sample over a
        // window that ends a little after the cue's onset; for the end cue
        // it ends at the onset, since the sound stops soon after it. A
        // check point is searched for as a flash cue is, and has no flash.
        const bool endCue = !quickMode && i == CUE_COUNT - 1;
        const bool flash = !quickMode && !endCue;
        int64_t from = cue.renderFrame - LOCAL_FRAMES;
        int64_t recordFrom = from + lag - LOCAL_REACH;
        if (recordFrom < 0)
            recordFrom = 0;
        int64_t recordTo = from + lag + LOCAL_FRAMES + LOCAL_REACH;
        if (recordTo > recordFrames)
            recordTo = recordFrames;
        int64_t local = syncCoarseLag(render + from * 2, LOCAL_FRAMES, record + recordFrom * 2,
                                      recordTo - recordFrom, LOCAL_FRAMES);
        SyncMatch match = {false, 0, 1};
        if (local >= 0)
            match = syncRefineLag(render, renderFrames, record, recordFrames,
                                  cue.renderFrame - (endCue ? WINDOW : WINDOW * 3 / 4), WINDOW,
                                  local + recordFrom - from, CUE_RADIUS);
        if (!match.found) {
            printf("%5u %4u not found in the recording (residual %.3f)\n", cue.order, cue.row,
                   match.residual);
            continue;
        }
        lag = match.lag;
        cue.located = true;
        located++;
        int64_t leftNs =
            syncFrameLeftNs(readNs.data(), framesAfter.data(), static_cast<int>(readNs.size()),
                            FREQUENCY, recordLatencyNs, cue.renderFrame + match.lag, STAMP_SPAN);
        cue.soundS = static_cast<double>(leftNs) / 1e9;
        if (flash) {
            int best = -1;
            for (size_t k = 0; k < flashS.size(); k++) {
                double distance = std::fabs(flashS[k] - cue.soundS);
                if (!used[k] && distance * 1000 <= MATCH_MS &&
                    (best < 0 ||
                     distance < std::fabs(flashS[static_cast<size_t>(best)] - cue.soundS)))
                    best = static_cast<int>(k);
            }
            if (best >= 0) {
                used[static_cast<size_t>(best)] = true;
                cue.screenS = flashS[static_cast<size_t>(best)];
            }
        } else if (endCue) {
            // The first close near the end cue's own sound (the window is
            // also unmapped at start-up); the cue before it may not have
            // been located.
            for (double closed : closedS) {
                if (closed > cue.soundS - END_REACH_S) {
                    cue.screenS = closed;
                    break;
                }
            }
        }
        double lagMs = static_cast<double>(match.lag) * 1000.0 / FREQUENCY;
        if (cue.screenS > 0) {
            double differenceMs = (cue.screenS - cue.soundS) * 1000;
            printf("%5u %4u %10.2f %10.3f %12.1f %9.4f%s\n", cue.order, cue.row, lagMs, cue.soundS,
                   differenceMs, match.residual, flash ? "" : "  (window closed)");
            if (flash) {
                differencesMs.push_back(differenceMs);
                absoluteMs.push_back(std::fabs(differenceMs));
            }
        } else {
            printf("%5u %4u %10.2f %10.3f %12s %9.4f\n", cue.order, cue.row, lagMs, cue.soundS,
                   flash    ? "no flash"
                   : endCue ? "not closed"
                            : "check point",
                   match.residual);
        }
    }
    size_t n = differencesMs.size();
    double medianMs = median(differencesMs), p95Ms = percentile(absoluteMs, 0.95);
    if (n > 0)
        printf("flash minus sound over %zu cues: median %.1f ms, min %.1f, max %.1f, p95 of "
               "|difference| %.1f ms\n",
               n, medianMs, *std::min_element(differencesMs.begin(), differencesMs.end()),
               *std::max_element(differencesMs.begin(), differencesMs.end()), p95Ms);
    if (quickMode)
        printf("check points located: %d of %d\n", located, cueCount);
    const Cue& end = cues[CUE_COUNT - 1];
    if (!quickMode && end.located && end.screenS > 0)
        printf("end cue: window closed minus sound of order 29 row 62: %.1f ms\n",
               (end.screenS - end.soundS) * 1000);
    else
        printf("end cue: not measured\n");
    printf("SYNC %s flash-minus-sound median %.1f p95 %.1f cues %zu\n", driver, n ? medianMs : NAN,
           n ? p95Ms : NAN, n);
    return quickMode && located == 0 ? 1 : 0;
}
