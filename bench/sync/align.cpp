// The alignment of align.h: an envelope correlation to find the music in the
// recording to within a block, then least squares sample by sample around
// each point of interest, so a dropout between two points moves only the
// later ones.
#include "bench/sync/align.h"

#include <cmath>
#include <vector>

// The loudness of blocks of SYNC_ENVELOPE_FRAMES frames: the mean absolute
// mono sum, one value per block.
static std::vector<double> syncEnvelope(const int16_t* samples, int64_t frames)
{
    std::vector<double> envelope(static_cast<size_t>(frames / SYNC_ENVELOPE_FRAMES));
    for (size_t block = 0; block < envelope.size(); block++) {
        double sum = 0;
        const int16_t* at = samples + static_cast<int64_t>(block) * SYNC_ENVELOPE_FRAMES * 2;
        for (int frame = 0; frame < SYNC_ENVELOPE_FRAMES; frame++)
            sum += std::fabs(static_cast<double>(at[frame * 2]) + at[frame * 2 + 1]);
        envelope[block] = sum / SYNC_ENVELOPE_FRAMES;
    }
    return envelope;
}

int64_t syncCoarseLag(const int16_t* render, int64_t renderFrames, const int16_t* record,
                      int64_t recordFrames, int64_t envelopeFrames)
{
    if (envelopeFrames > renderFrames)
        envelopeFrames = renderFrames;
    std::vector<double> music = syncEnvelope(render, envelopeFrames);
    std::vector<double> heard = syncEnvelope(record, recordFrames);
    if (music.size() < 2 || heard.size() < music.size())
        return -1;
    // Pearson correlation of the render's envelope with each equal stretch
    // of the recording's.
    const size_t n = music.size();
    double musicMean = 0;
    for (double value : music)
        musicMean += value;
    musicMean /= static_cast<double>(n);
    double musicSpread = 0;
    for (double& value : music) {
        value -= musicMean;
        musicSpread += value * value;
    }
    double best = -2;
    size_t bestLag = 0;
    for (size_t lag = 0; lag + n <= heard.size(); lag++) {
        double sum = 0, sumSquares = 0, product = 0;
        for (size_t i = 0; i < n; i++) {
            double value = heard[lag + i];
            sum += value;
            sumSquares += value * value;
            product += music[i] * value;
        }
        double spread = sumSquares - sum * sum / static_cast<double>(n);
        if (!(spread > 0) || !(musicSpread > 0))
            continue;
        double correlation = product / std::sqrt(spread * musicSpread);
        if (correlation > best) {
            best = correlation;
            bestLag = lag;
        }
    }
    return static_cast<int64_t>(bestLag) * SYNC_ENVELOPE_FRAMES;
}

SyncMatch syncRefineLag(const int16_t* render, int64_t renderFrames, const int16_t* record,
                        int64_t recordFrames, int64_t windowFirst, int64_t windowFrames,
                        int64_t centreLag, int64_t radius)
{
    SyncMatch match = {false, 0, 0};
    const int64_t first = windowFirst, end = windowFirst + windowFrames;
    if (first < 0 || windowFrames <= 0 || end > renderFrames)
        return match;
    std::vector<int32_t> music(static_cast<size_t>(end - first));
    double energy = 0;
    for (int64_t frame = first; frame < end; frame++) {
        int32_t mono = static_cast<int32_t>(render[frame * 2]) + render[frame * 2 + 1];
        music[static_cast<size_t>(frame - first)] = mono;
        energy += static_cast<double>(mono) * mono;
    }
    if (!(energy > 0))
        return match;
    // The recording's mono sums over every frame the search can reach.
    int64_t from = first + centreLag - radius, to = end + centreLag + radius;
    if (from < 0)
        from = 0;
    if (to > recordFrames)
        to = recordFrames;
    if (to <= from)
        return match;
    std::vector<int32_t> heard(static_cast<size_t>(to - from));
    for (int64_t frame = from; frame < to; frame++)
        heard[static_cast<size_t>(frame - from)] =
            static_cast<int32_t>(record[frame * 2]) + record[frame * 2 + 1];
    double best = -1;
    for (int64_t lag = centreLag - radius; lag <= centreLag + radius; lag++) {
        if (first + lag < from || end + lag > to)
            continue;
        const int32_t* at = heard.data() + (first + lag - from);
        int64_t sum = 0;
        for (size_t i = 0; i < music.size(); i++) {
            int64_t difference = at[i] - music[i];
            sum += difference * difference;
        }
        if (best < 0 || static_cast<double>(sum) < best) {
            best = static_cast<double>(sum);
            match.lag = lag;
        }
    }
    if (best < 0)
        return match;
    match.residual = best / energy;
    match.found = match.residual < SYNC_MAX_RESIDUAL;
    return match;
}

int64_t syncFrameLeftNs(const int64_t* readNs, const int64_t* framesAfter, int count, int frequency,
                        int64_t recordLatencyNs, int64_t frame, int64_t spanFrames)
{
    int64_t earliest = -1;
    for (int i = 0; i < count; i++) {
        if (framesAfter[i] < frame - spanFrames || framesAfter[i] > frame + spanFrames)
            continue;
        int64_t at = readNs[i] - (framesAfter[i] - frame) * 1000000000 / frequency;
        if (earliest < 0 || at < earliest)
            earliest = at;
    }
    return earliest < 0 ? -1 : earliest - recordLatencyNs;
}
