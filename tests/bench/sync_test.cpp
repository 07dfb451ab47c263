// The sync benchmark's alignment (bench/sync/align.h) on recordings built
// from the module's offline render: a known stretch of silence before the
// music, dither-sized noise, a dropout, reads that come late.
#include "assets/assets.h"
#include "bench/sync/align.h"
#include "platform/tools.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

static const int FREQUENCY = 44100;
static const int64_t MUSIC_FRAMES = 12 * 44100;
static const int64_t DELAY_FRAMES = 54441;  // 1.2345 s of silence before the music
static const int64_t MS = 44;               // frames in a millisecond, rounded down

static std::vector<int16_t> renderMusic()
{
    std::vector<int16_t> music(static_cast<size_t>(MUSIC_FRAMES) * 2);
    EXPECT_TRUE(platMusicRenderStereo(assetMusicIt, assetMusicItSize, FREQUENCY, 0, MUSIC_FRAMES,
                                      music.data()));
    return music;
}

// delay frames of silence, then the music with a dropout of dropoutFrames
// zeros at dropoutAt; every sample off by up to one step, as dither is.
static std::vector<int16_t> recordMusic(const std::vector<int16_t>& music, int64_t delay,
                                        int64_t dropoutAt, int64_t dropoutFrames)
{
    std::vector<int16_t> record(static_cast<size_t>(delay) * 2, 0);
    record.insert(record.end(), music.begin(), music.begin() + dropoutAt * 2);
    record.insert(record.end(), static_cast<size_t>(dropoutFrames) * 2, 0);
    record.insert(record.end(), music.begin() + dropoutAt * 2, music.end());
    srand(7);
    for (int16_t& sample : record)
        if (sample > -32767 && sample < 32767)
            sample = static_cast<int16_t>(sample + rand() % 3 - 1);
    return record;
}

TEST(SyncAlign, FindsAnInjectedDelayAndADropoutAfterIt)
{
    const std::vector<int16_t> music = renderMusic();
    const std::vector<int16_t> record = recordMusic(music, DELAY_FRAMES, 6 * FREQUENCY, 1323);
    const int64_t recordFrames = static_cast<int64_t>(record.size() / 2);

    int64_t coarse =
        syncCoarseLag(music.data(), MUSIC_FRAMES, record.data(), recordFrames, 5 * FREQUENCY);
    EXPECT_NEAR(coarse, DELAY_FRAMES, 2 * SYNC_ENVELOPE_FRAMES);
    SyncMatch before = syncRefineLag(music.data(), MUSIC_FRAMES, record.data(), recordFrames,
                                     3 * FREQUENCY - 8192, 16384, coarse, 1323);
    ASSERT_TRUE(before.found);
    EXPECT_NEAR(before.lag, DELAY_FRAMES, MS);
    EXPECT_LT(before.residual, 0.01);
    // After the dropout, searched from the lag before it.
    SyncMatch after = syncRefineLag(music.data(), MUSIC_FRAMES, record.data(), recordFrames,
                                    9 * FREQUENCY - 8192, 16384, before.lag, 2646);
    ASSERT_TRUE(after.found);
    EXPECT_NEAR(after.lag, DELAY_FRAMES + 1323, MS);
}

TEST(SyncAlign, OtherMusicOrNoRoomIsNotAMatch)
{
    const std::vector<int16_t> music = renderMusic();
    // The recording holds the music from 6 s on; searching near lag 0 for
    // the render's 3 s finds no match.
    std::vector<int16_t> record(music.begin() + 6 * FREQUENCY * 2, music.end());
    const int64_t recordFrames = static_cast<int64_t>(record.size() / 2);
    SyncMatch wrong = syncRefineLag(music.data(), MUSIC_FRAMES, record.data(), recordFrames,
                                    3 * FREQUENCY - 8192, 16384, 0, 1323);
    EXPECT_FALSE(wrong.found);
    EXPECT_GT(wrong.residual, SYNC_MAX_RESIDUAL);
    // A window beyond the render, and an envelope longer than the recording.
    EXPECT_FALSE(syncRefineLag(music.data(), MUSIC_FRAMES, record.data(), recordFrames,
                               MUSIC_FRAMES - 100, 16384, 0, 1323)
                     .found);
    EXPECT_EQ(syncCoarseLag(music.data(), MUSIC_FRAMES, record.data(), 1000, 5 * FREQUENCY), -1);
}

// Reads of 441 frames handed over when their last frame left the sink, plus
// the recording latency, plus a scheduling delay of 0.1 to 5 ms; one read
// in ten is prompt. Before frame 441 * 500 the sink idled for 2 s.
TEST(SyncAlign, AFrameLeftAtTheEarliestNearbyReadLessTheStreamLatency)
{
    const int64_t startNs = 5000000000, latencyNs = -1800000, idleNs = 2000000000;
    std::vector<int64_t> readNs, framesAfter;
    srand(3);
    for (int64_t frames = 441; frames <= 441 * 1000; frames += 441) {
        int64_t lateNs = frames % 4410 == 0 ? 0 : 100000 + rand() % 5000000;
        framesAfter.push_back(frames);
        readNs.push_back(startNs + frames * 1000000000 / FREQUENCY + latencyNs + lateNs +
                         (frames >= 441 * 500 ? idleNs : 0));
    }
    const int count = static_cast<int>(readNs.size());
    // Frame 100000 left 100000 / 44100 s after the start; frame 400000
    // as much later, and the idle time on top.
    EXPECT_NEAR(static_cast<double>(syncFrameLeftNs(readNs.data(), framesAfter.data(), count,
                                                    FREQUENCY, latencyNs, 100000, 44100)),
                startNs + 100000 * 1e9 / FREQUENCY, 1000.0);
    EXPECT_NEAR(static_cast<double>(syncFrameLeftNs(readNs.data(), framesAfter.data(), count,
                                                    FREQUENCY, latencyNs, 400000, 44100)),
                startNs + idleNs + 400000 * 1e9 / FREQUENCY, 1000.0);
    // Taken for a stream with no latency, the monitor's lead is not undone.
    EXPECT_NEAR(static_cast<double>(syncFrameLeftNs(readNs.data(), framesAfter.data(), count,
                                                    FREQUENCY, 0, 100000, 44100)),
                startNs + latencyNs + 100000 * 1e9 / FREQUENCY, 1000.0);
    EXPECT_EQ(
        syncFrameLeftNs(readNs.data(), framesAfter.data(), count, FREQUENCY, 0, 441 * 2000, 44100),
        -1);
}
