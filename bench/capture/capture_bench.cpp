// Capture speed relative to real time (seconds of show per second of
// work) for a 5 s span at 60 frames a second, on the offscreen context
// (Mesa's llvmpipe with its default threads):
//
//   Frames/<width>/<height>: the frames drawn and read back, as the tool
//   does for each frame of a video, without any encoding (in a child process, so every
//   size gets a fresh context and scene);
//   Encoded/<width>/<height>: the werule-capture tool run end to end with
//   --video (H.264 and AAC through ffmpeg), start-up, the music's replay and
//   sound render included; and, from a one-frame run of the same span's
//   end, that fixed cost and the rate of the frames beyond it.
//
// --quick: a 1 s span, at 800 by 600 only; the same lines, from fewer
// frames, so the rates weigh each run's fixed cost more.
#include <benchmark/benchmark.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/quick.h"
#include "show/replay.h"
#include "tools/werule-capture/capture.h"
#include "tools/werule-capture/video.h"

static const double FROM = 74;  // seconds of show: the first flash lies in the span
static double span = 5;         // seconds of show (--quick: 1)
static const int FPS = 60;
static float flash[REPLAY_MAX_TICKS];

static double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs in the child: draws and reads back the span's frames; the seconds
// they took, or a negative number when no context opens.
static double drawSpan(int width, int height)
{
    const int first = videoFrameAt(FROM, FPS);
    const int end = videoFrameAt(FROM + span, FPS);
    int endCueTick = 0;
    if (!replayCueLevels(VIDEO_SAMPLE_RATE, ticksAtFrame(end, FPS), flash, &endCueTick) ||
        !openCapture(width, height, 1)) {
        return -1;
    }
    uint8_t* bgra = static_cast<uint8_t*>(malloc(static_cast<size_t>(width) * height * 4));
    startVideoShow(1, FPS, first, flash, ticksAtFrame(end, FPS));
    const auto start = std::chrono::steady_clock::now();
    for (int frame = first; frame < end; ++frame) {
        advanceVideoTo(frame);
        drawAndReadFrameBgra(bgra, width, height);
    }
    const double seconds = secondsSince(start);
    free(bgra);
    closeCapture();
    return seconds;
}

static void Frames(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    double seconds = -1;
    for (auto _ : state) {
        int ends[2];
        if (pipe(ends) != 0) {
            state.SkipWithError("no pipe");
            return;
        }
        const pid_t child = fork();
        if (child == 0) {
            close(ends[0]);
            const double taken = drawSpan(width, height);
            const ssize_t written = write(ends[1], &taken, sizeof taken);
            _exit(written == sizeof taken ? 0 : 1);
        }
        close(ends[1]);
        if (read(ends[0], &seconds, sizeof seconds) != sizeof seconds) {
            seconds = -1;
        }
        close(ends[0]);
        waitpid(child, nullptr, 0);
        state.SetIterationTime(seconds > 0 ? seconds : 1);
    }
    if (!(seconds > 0)) {
        state.SkipWithError("no offscreen GL context");
        return;
    }
    state.counters["realtime_x"] = span / seconds;
    state.counters["frames_per_s"] = span * FPS / seconds;
    printf("frames only, %dx%d: %.2f s of show per second (%.1f frames a second)\n", width, height,
           span / seconds, span * FPS / seconds);
}

// Runs the tool on [from, to) at width x height into folder; the seconds
// it took, or a negative number when it failed.
static double runTool(const char* folder, int width, int height, double from, double to)
{
    char command[512];
    snprintf(command, sizeof command,
             "env -u DISPLAY -u WAYLAND_DISPLAY %s --quiet --video %s/bench.mp4 --fps %d "
             "--size %dx%d --from %g --to %.6f",
             WERULE_CAPTURE_TOOL, folder, FPS, width, height, from, to);
    const auto start = std::chrono::steady_clock::now();
    const int status = system(command);
    return status == 0 ? secondsSince(start) : -1;
}

static void Encoded(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    char folder[] = "/tmp/werule-bench-capture-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    double seconds = -1;
    double oneFrame = -1;  // start-up, music replay and sound render, one frame
    for (auto _ : state) {
        seconds = runTool(folder, width, height, FROM, FROM + span);
        oneFrame = runTool(folder, width, height, FROM + span - 1.0 / FPS, FROM + span);
        state.SetIterationTime(seconds > 0 ? seconds : 1);
    }
    char command[128];
    snprintf(command, sizeof command, "rm -rf %s", folder);
    if (system(command) != 0) {
        fprintf(stderr, "cannot remove %s\n", folder);
    }
    if (!(seconds > 0) || !(oneFrame > 0)) {
        state.SkipWithError("werule-capture failed");
        return;
    }
    // The frames after the first, without the fixed cost of a run.
    const double steady = (span - 1.0 / FPS) / (seconds - oneFrame);
    state.counters["realtime_x"] = span / seconds;
    state.counters["steady_realtime_x"] = steady;
    printf("encoded (whole tool), %dx%d: %.2f s of show per second; %.2f s fixed, %.2f s of show "
           "per second beyond it\n",
           width, height, span / seconds, oneFrame, steady);
}

BENCHMARK(Frames)
    ->Args({800, 600})
    ->Args({1920, 1080})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);
BENCHMARK(Encoded)
    ->Args({800, 600})
    ->Args({1920, 1080})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

int main(int argc, char** argv)
{
    const bool quick = takeQuickFlag(&argc, argv);
    if (quick) {
        span = 1;
    }
    initializeBenchmarks(&argc, argv, quick, "/800/600");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
