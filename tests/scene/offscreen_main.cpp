// main() of the offscreen tests: no display server may be used, so the
// variables that would point SDL or EGL at one are cleared, and Mesa is kept
// on its software rasteriser so every run draws the same pixels.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
