// Where a recording of the show's music lies against the module rendered
// offline, and when each recorded frame left the sound server's sink.
// Pure arithmetic over sample arrays (16-bit interleaved stereo); no I/O.
// One thread: whoever calls.
#pragma once

#include <cstdint>

// Frames per envelope block of the coarse search (10 ms at 44.1 kHz).
static const int SYNC_ENVELOPE_FRAMES = 441;

// The lag (recording frame minus render frame, a multiple of
// SYNC_ENVELOPE_FRAMES, 0 or more) at which the loudness envelope of the
// render's first envelopeFrames frames best matches the recording's;
// -1 when either is too short.
int64_t syncCoarseLag(const int16_t* render, int64_t renderFrames, const int16_t* record,
                      int64_t recordFrames, int64_t envelopeFrames);

struct SyncMatch {
    bool found;       // a lag within the search whose residual is below SYNC_MAX_RESIDUAL
    int64_t lag;      // recording frame minus render frame, in frames
    double residual;  // squared difference over the render's energy in the window, 0 = identical
};
static const double SYNC_MAX_RESIDUAL = 0.05;

// The lag in centreLag - radius .. centreLag + radius at which the
// recording best repeats the render's frames windowFirst ..
// windowFirst + windowFrames - 1 (least squared difference of the mono sums).
SyncMatch syncRefineLag(const int16_t* render, int64_t renderFrames, const int16_t* record,
                        int64_t recordFrames, int64_t windowFirst, int64_t windowFrames,
                        int64_t centreLag, int64_t radius);

// When frame `frame` of the recording left the sink, in nanoseconds of the
// monotonic clock. Read i returned at readNs[i] with framesAfter[i] frames
// received in all; a reader is late by its scheduling, never early, so the
// earliest read relative to its frames counts, among the reads within
// spanFrames of `frame` (the server sends nothing while its sink is idle,
// so frames and time run in step only over a stretch). recordLatencyNs is
// the time from leaving the sink to being handed to the reader, as the
// server reports it for the recording stream (negative for a sink's
// monitor, which is fed as the sink renders, ahead of its playing).
// -1 when no read lies within the span.
int64_t syncFrameLeftNs(const int64_t* readNs, const int64_t* framesAfter, int count, int frequency,
                        int64_t recordLatencyNs, int64_t frame, int64_t spanFrames);
