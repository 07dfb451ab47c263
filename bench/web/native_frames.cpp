// web-native-frames SECONDS FRAMES
// The native reference of bench-web: the intro's drawFrame at 800 by 600 on
// Mesa's llvmpipe (the offscreen context), at one moment of the show, drawn
// FRAMES times; prints the median of drawFrame + glFinish in milliseconds.
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "scene/frame.h"
#include "tools/werule-capture/capture.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: web-native-frames SECONDS FRAMES\n");
        return 2;
    }
    const double seconds = std::atof(argv[1]);
    const int frames = std::max(1, std::atoi(argv[2]));
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    if (!openCapture(800, 600, 1)) {
        std::fprintf(stderr, "web-native-frames: no offscreen GL context\n");
        return 1;
    }
    setShowStateAt(ShowMoment{seconds, 1, 0});
    std::vector<double> ms;
    for (int i = 0; i < frames; ++i) {
        const auto start = std::chrono::steady_clock::now();
        drawFrame();
        glFinish();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%.3f %s\n", ms[ms.size() / 2],
                reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    closeCapture();
    return 0;
}
