// main() of the offscreen tests: no display server may be used, so the
// variables that would point SDL or EGL at one are cleared, and Mesa is kept
// on its software rasteriser so every run draws the same pixels. Every test
// then draws into one offscreen context of the probe's size, prepared as the
// intro prepares its window.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/scene/frame_probe.h"
#include "tools/werule-capture/capture.h"

namespace {

class OffscreenEnvironment : public ::testing::Environment {
  public:
    void SetUp() override
    {
        ASSERT_TRUE(openCapture(PROBE_WIDTH, PROBE_HEIGHT, 1)) << "no offscreen GL context";
    }
    void TearDown() override
    {
        closeCapture();
    }
};

}  // namespace

int main(int argc, char** argv)
{
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new OffscreenEnvironment);
    return RUN_ALL_TESTS();
}
