// What one cue timer tick costs (it must end well within its 20 ms), what a
// position query costs while the music plays, and what the capture tool's
// offline replay of the flash costs for a still late in the show.
// --quick: each benchmark for about 0.05 s (the replay still three times).
#include "assets/assets.h"
#include "bench/quick.h"
#include "platform/platform.h"
#include "scene/stars.h"
#include "show/cues.h"
#include "show/replay.h"
#include "show/state.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

// The tick as the show runs it: 3000 stars, the live position of the
// playing module on SDL's dummy driver.
static void BM_CueTimerTick(benchmark::State& state)
{
    srand(1);
    scatterStars();
    for (auto _ : state)
        cueTimerTick();
    state.counters["showTime"] = showTime.load();
}
BENCHMARK(BM_CueTimerTick);

static void BM_MusicPosition(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(platMusicPosition(musicHandle));
}
BENCHMARK(BM_MusicPosition);

// The flash at 144 s: the whole module rendered offline, once.
static void BM_ReplayWholeShow(benchmark::State& state)
{
    for (auto _ : state) {
        float level = 0;
        bool endSeen = false;
        benchmark::DoNotOptimize(replayCueTicks(144 * 50, &level, &endSeen));
    }
}
BENCHMARK(BM_ReplayWholeShow)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    platSoundInit(PLAT_SOUND_DEFAULT_DEVICE, 44100);
    musicHandle = platMusicLoad(assetMusicIt, assetMusicItSize, true);
    platSoundStart();
    platMusicPlay(musicHandle, 0);
    const bool quick = takeQuickFlag(&argc, argv);
    initializeBenchmarks(&argc, argv, quick, nullptr);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
