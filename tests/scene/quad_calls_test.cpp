// drawQuad's calls as GL receives them: this program defines the few GL
// entry points drawQuad uses, so the linker binds the scene's calls to these
// recorders instead of the driver's.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <vector>

#include "scene/frame.h"

namespace {

struct Call {
    char kind;  // 'b' bind, '[' begin, 't' texture coordinate, 'v' vertex, ']' end
    float a, b, c;
};

}  // namespace

static std::vector<Call> calls;

extern "C" {
void GLAPIENTRY glBindTexture(GLenum target, GLuint name)
{
    calls.push_back({'b', static_cast<float>(target), static_cast<float>(name), 0});
}
void GLAPIENTRY glBegin(GLenum mode)
{
    calls.push_back({'[', static_cast<float>(mode), 0, 0});
}
void GLAPIENTRY glTexCoord2f(GLfloat s, GLfloat t)
{
    calls.push_back({'t', s, t, 0});
}
void GLAPIENTRY glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    calls.push_back({'v', x, y, z});
}
void GLAPIENTRY glEnd()
{
    calls.push_back({']', 0, 0, 0});
}
}

TEST(DrawQuadCalls, BindsThenSendsFourCornersCounterClockwiseWithTheirCoordinates)
{
    calls.clear();
    drawQuad(3, 8, 5);  // 3 high, 8 wide
    ASSERT_EQ(calls.size(), 11u);
    EXPECT_EQ(calls[0].kind, 'b');
    EXPECT_EQ(calls[0].a, static_cast<float>(GL_TEXTURE_2D));
    EXPECT_EQ(calls[0].b, 5.0f);
    EXPECT_EQ(calls[1].kind, '[');
    EXPECT_EQ(calls[1].a, static_cast<float>(GL_QUADS));
    EXPECT_EQ(calls[10].kind, ']');

    const float expected[4][5] = {
        // s, t, x, y, z
        {1, 1, 4, -1.5f, 0},
        {1, 0, 4, 1.5f, 0},
        {0, 0, -4, 1.5f, 0},
        {0, 1, -4, -1.5f, 0},
    };
    for (int i = 0; i < 4; ++i) {
        const Call& coordinate = calls[2 + 2 * i];
        const Call& vertex = calls[3 + 2 * i];
        ASSERT_EQ(coordinate.kind, 't') << i;
        ASSERT_EQ(vertex.kind, 'v') << i;
        EXPECT_EQ(coordinate.a, expected[i][0]) << i;
        EXPECT_EQ(coordinate.b, expected[i][1]) << i;
        EXPECT_EQ(vertex.a, expected[i][2]) << i;
        EXPECT_EQ(vertex.b, expected[i][3]) << i;
        EXPECT_EQ(vertex.c, expected[i][4]) << i;
    }
    // Twice the signed area seen from +z: positive means counter-clockwise.
    double area = 0;
    for (int i = 0; i < 4; ++i) {
        const Call& p = calls[3 + 2 * i];
        const Call& q = calls[3 + 2 * ((i + 1) % 4)];
        area += static_cast<double>(p.a) * q.b - static_cast<double>(q.a) * p.b;
    }
    EXPECT_EQ(area, 2 * 3.0 * 8.0);
}

TEST(DrawQuadCalls, NameZeroAndDegenerateSizesStillSendOneQuad)
{
    calls.clear();
    drawQuad(0, 0, 0);
    ASSERT_EQ(calls.size(), 11u);
    EXPECT_EQ(calls[0].b, 0.0f);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(calls[3 + 2 * i].a, 0.0f);
        EXPECT_EQ(calls[3 + 2 * i].b, 0.0f);
    }
}
