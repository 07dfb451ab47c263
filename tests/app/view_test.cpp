// A size message reaching the view through the window procedure, read back
// from a real GL context: the letterbox viewport and the projection it lays,
// a zero size, and a size that arrives while no context is current (as the
// window's first size messages do, before the context exists).
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <SDL.h>

#include <cmath>

#include "app/view.h"
#include "app/window.h"
#include "tests/scene/frame_probe.h"

static void sendSize(int width, int height)
{
    PlatMessage message = {PLAT_MSG_SIZE, 0,
                           static_cast<uint32_t>(width) | static_cast<uint32_t>(height) << 16};
    EXPECT_EQ(windowProc(&message), 0);
}

static void expectViewport(int y, int width, int height)
{
    GLint viewport[4] = {-1, -1, -1, -1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], y);
    EXPECT_EQ(viewport[2], width);
    EXPECT_EQ(viewport[3], height);
}

// The projection gluPerspective(60, aspect, 0.2, 5000) makes, column-major.
static void expectPerspective(double aspect)
{
    const double f = 1.0 / std::tan(30.0 * M_PI / 180.0);
    const double expected[16] = {f / aspect,
                                 0,
                                 0,
                                 0,
                                 0,
                                 f,
                                 0,
                                 0,
                                 0,
                                 0,
                                 (5000.0 + 0.2) / (0.2 - 5000.0),
                                 -1,
                                 0,
                                 0,
                                 2 * 5000.0 * 0.2 / (0.2 - 5000.0),
                                 0};
    GLdouble matrix[16];
    glGetDoublev(GL_PROJECTION_MATRIX, matrix);
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(matrix[i], expected[i], 1e-5 * (1 + std::fabs(expected[i]))) << "element " << i;
    }
}

static void restoreView()
{
    resizeView(PROBE_WIDTH, PROBE_HEIGHT);
    setBaseState();
}

TEST(SizeMessage, LaysTheLetterboxBandAndItsProjection)
{
    sendSize(800, 600);
    expectViewport(100, 800, 400);
    expectPerspective(2.0);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW) << "the scene draws in the modelview matrix";

    sendSize(1024, 768);
    expectViewport(128, 1024, 512);
    expectPerspective(1024 / 512.0);

    // 599 lines: the band's height is truncated, the aspect is not.
    sendSize(640, 599);
    expectViewport(99, 640, 399);
    expectPerspective(640 / (599 * 2.0 / 3.0));
    restoreView();
}

TEST(SizeMessage, ZeroSizeLaysAnEmptyBandAndTheNextSizeRestoresIt)
{
    sendSize(0, 0);  // a minimised window
    expectViewport(0, 0, 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    sendSize(800, 600);
    expectViewport(100, 800, 400);
    expectPerspective(2.0);
    restoreView();
}

TEST(SizeMessage, WithoutACurrentContextLeavesTheRenderStateAlone)
{
    sendSize(800, 600);
    SDL_Window* window = SDL_GL_GetCurrentWindow();
    SDL_GLContext context = SDL_GL_GetCurrentContext();
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(SDL_GL_MakeCurrent(window, nullptr), 0);
    sendSize(320, 240);
    sendSize(0, 0);
    ASSERT_EQ(SDL_GL_MakeCurrent(window, context), 0);
    expectViewport(100, 800, 400);
    expectPerspective(2.0);
    restoreView();
}
