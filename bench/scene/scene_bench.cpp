// Frame time of the whole scene at 800 by 600 on the offscreen context
// (Mesa's llvmpipe with its default threads), over the times of the show,
// and the peak resident memory of a process that has built everything the
// intro builds and drawn those frames.
//
//   ShowRun: one pass through the show's 144 seconds as a 60-per-second
//   loop would draw it (every sixth frame timed, ticks replayed and panel
//   flips made for the others);
//   prints the median and 95th percentile of drawFrame + glFinish.
//   FrameAt/<seconds>: one moment drawn over and over.
//
// --quick: the show run times one frame a second (144 frames, the ticks
// and panel flips still replayed for every frame) and each moment is drawn
// for about 0.05 s; the same lines, from fewer frames.
#include <benchmark/benchmark.h>

#include <GL/gl.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/quick.h"
#include "scene/frame.h"
#include "show/state.h"
#include "tools/werule-capture/capture.h"

static const int WIDTH = 800;
static const int HEIGHT = 600;
static const double SHOW_SECONDS = 144;  // the music's end cue
static int frameStride = 6;  // of the 60-per-second frames, time every sixth (--quick: 60th)

static double peakResidentMegabytes()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

// User and system time of the whole process (main thread and the
// rasteriser's threads), in milliseconds.
static double processCpuMs()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

static double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const size_t index = static_cast<size_t>(fraction * (values.size() - 1) + 0.5);
    return values[index];
}

static void ShowRun(benchmark::State& state)
{
    std::vector<double> frameMs;
    double cpuMs = 0;  // process time spent in the timed frames
    for (auto _ : state) {
        setShowStateAt(ShowMoment{0, 1, 0});
        int ticksRun = 0;
        const int frames = static_cast<int>(SHOW_SECONDS * 60);
        for (int frame = 0; frame < frames; ++frame) {
            const int due = frame * 50 / 60;
            for (; ticksRun < due; ++ticksRun) {
                replayTick();
            }
            if (frame % frameStride != 0) {
                flipPanelAt(showTime.load(std::memory_order_relaxed));
                continue;
            }
            const double cpuStart = processCpuMs();
            const auto start = std::chrono::steady_clock::now();
            drawFrame();
            glFinish();
            const auto end = std::chrono::steady_clock::now();
            cpuMs += processCpuMs() - cpuStart;
            frameMs.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        }
    }
    state.counters["frames"] = static_cast<double>(frameMs.size());
    state.counters["median_ms"] = percentile(frameMs, 0.5);
    state.counters["p95_ms"] = percentile(frameMs, 0.95);
    state.counters["max_ms"] = percentile(frameMs, 1.0);
    state.counters["cpu_ms_per_frame"] = cpuMs / static_cast<double>(frameMs.size());
    state.counters["peak_rss_MB"] = peakResidentMegabytes();
    std::printf("show run: %zu frames, median %.2f ms, p95 %.2f ms, max %.2f ms, "
                "process CPU %.2f ms a frame, peak RSS %.1f MB\n",
                frameMs.size(), percentile(frameMs, 0.5), percentile(frameMs, 0.95),
                percentile(frameMs, 1.0), cpuMs / static_cast<double>(frameMs.size()),
                peakResidentMegabytes());
}
BENCHMARK(ShowRun)->Iterations(1)->Unit(benchmark::kSecond);

static void FrameAt(benchmark::State& state)
{
    setShowStateAt(ShowMoment{static_cast<double>(state.range(0)), 1, 0});
    for (auto _ : state) {
        drawFrame();
        glFinish();
    }
    state.counters["peak_rss_MB"] = peakResidentMegabytes();
}
// The start, a bright panel with the scroller on screen, and late in the show.
BENCHMARK(FrameAt)->Arg(0)->Arg(8)->Arg(60)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    if (!openCapture(WIDTH, HEIGHT, 1)) {
        std::fprintf(stderr, "bench-scene: no offscreen GL context\n");
        return 1;
    }
    std::printf("renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    const bool quick = takeQuickFlag(&argc, argv);
    if (quick) {
        frameStride = 60;
    }
    initializeBenchmarks(&argc, argv, quick, nullptr);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    closeCapture();
    return 0;
}
