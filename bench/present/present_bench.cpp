// bench-present [--quick]: what the desktop layer's scaling costs a frame.
// The show's frame at 15.6 s on the offscreen context (Mesa's llvmpipe):
// drawn into an 800 by 600 drawable, as a real display-mode change gives
// it, against drawn into the 800 by 600 framebuffer and scaled into a 1280
// by 720 and a 1920 by 1080 drawable at the swap (black around it). Each
// size in a process of its own, so each gets a fresh context and scene.
// Prints, per size, the median of drawFrame + the scaling + glFinish, and
// of the scaling alone (clear and blit + glFinish), then
//   RATIO scaled/direct frame-ms WIDTHxHEIGHT <direct / scaled>
// (above 1: the scaled frame is faster).
// --quick: 10 frames a size instead of 100.
#include <GL/gl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/view.h"
#include "platform/present.h"
#include "scene/frame.h"
#include "tools/werule-capture/capture.h"

static const double MOMENT_S = 15.6;
static const int SCREEN_WIDTH = 800;
static const int SCREEN_HEIGHT = 600;

struct Timing {
    double frameMs;    // median of a whole frame
    double scalingMs;  // median of the scaling alone; 0 when not scaled
};

static double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

static double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs in the child: the frames on a drawable of width by height; a
// negative frame time when no context opens or no framebuffer is made.
static Timing measure(int width, int height, int frames)
{
    Timing timing = {-1, 0};
    if (!openCapture(width, height, 1)) {
        return timing;
    }
    presentSetScreen(SCREEN_WIDTH, SCREEN_HEIGHT);
    presentSetDrawable(width, height);
    const bool scaled = width != SCREEN_WIDTH || height != SCREEN_HEIGHT;
    if (scaled != presentScaled()) {
        closeCapture();
        return timing;
    }
    resizeView(SCREEN_WIDTH, SCREEN_HEIGHT);
    setShowStateAt(ShowMoment{MOMENT_S, 1, 0});
    std::vector<double> frameMs;
    std::vector<double> scalingMs;
    for (int i = 0; i < frames; ++i) {
        const auto start = std::chrono::steady_clock::now();
        drawFrame();
        glFinish();
        const auto drawn = std::chrono::steady_clock::now();
        presentFrame();
        glFinish();
        scalingMs.push_back(msSince(drawn));
        presentResume();
        frameMs.push_back(msSince(start));
    }
    timing.frameMs = median(frameMs);
    timing.scalingMs = scaled ? median(scalingMs) : 0;
    presentRelease();
    closeCapture();
    return timing;
}

// measure() in a child process; a negative frame time when it failed.
static Timing measureApart(int width, int height, int frames)
{
    Timing timing = {-1, 0};
    int ends[2];
    if (pipe(ends) != 0) {
        return timing;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        const Timing taken = measure(width, height, frames);
        const ssize_t written = write(ends[1], &taken, sizeof taken);
        _exit(written == sizeof taken ? 0 : 1);
    }
    close(ends[1]);
    if (child > 0 && read(ends[0], &timing, sizeof timing) != sizeof timing) {
        timing.frameMs = -1;
    }
    close(ends[0]);
    int status = 0;
    if (child > 0) {
        waitpid(child, &status, 0);
    }
    return timing;
}

int main(int argc, char** argv)
{
    const bool quick = argc > 1 && strcmp(argv[1], "--quick") == 0;
    const int frames = quick ? 10 : 100;
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    const Timing direct = measureApart(SCREEN_WIDTH, SCREEN_HEIGHT, frames);
    if (direct.frameMs < 0) {
        fprintf(stderr, "bench-present: no offscreen GL context\n");
        return 1;
    }
    printf("direct 800x600 at %.1f s: %.2f ms a frame (median of %d)\n", MOMENT_S, direct.frameMs,
           frames);
    const int sizes[][2] = {{1280, 720}, {1920, 1080}};
    for (const auto& size : sizes) {
        const Timing scaled = measureApart(size[0], size[1], frames);
        if (scaled.frameMs < 0) {
            fprintf(stderr, "bench-present: no scaled screen at %dx%d\n", size[0], size[1]);
            return 1;
        }
        printf("scaled into %dx%d: %.2f ms a frame, the scaling alone %.2f ms\n", size[0], size[1],
               scaled.frameMs, scaled.scalingMs);
        printf("RATIO scaled/direct frame-ms %dx%d %.3f\n", size[0], size[1],
               direct.frameMs / scaled.frameMs);
    }
    return 0;
}
