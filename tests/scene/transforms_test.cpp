// The frame's transforms late in the show, where a rate that is slightly
// off has grown into a visible error: every translation, rotation and
// matrix switch the scene code makes is recorded (the link wraps
// glTranslatef, glRotatef and glMatrixMode) while one frame draws at
// t = 1440, and the floor, the mesh and the scroller are held to their
// formulas, computed here from the exact rates in double precision.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <vector>

#include "scene/frame.h"
#include "show/state.h"

namespace {

struct Call {
    char kind;         // 'T' translate, 'R' rotate
    GLenum matrix;     // the matrix mode it applied to
    float a, b, c, d;  // translate: x, y, z; rotate: angle, x, y, z
};

}  // namespace

static std::vector<Call> calls;
static GLenum currentMode = GL_MODELVIEW;
static bool recording = false;

extern "C" {
void __real_glTranslatef(GLfloat x, GLfloat y, GLfloat z);
void __real_glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z);
void __real_glMatrixMode(GLenum mode);

void __wrap_glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    if (recording) {
        calls.push_back({'T', currentMode, x, y, z, 0});
    }
    __real_glTranslatef(x, y, z);
}
void __wrap_glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    if (recording) {
        calls.push_back({'R', currentMode, angle, x, y, z});
    }
    __real_glRotatef(angle, x, y, z);
}
void __wrap_glMatrixMode(GLenum mode)
{
    currentMode = mode;
    __real_glMatrixMode(mode);
}
}

static const float T = 1440.2f;  // show time of the frame

static std::vector<Call> recordFrame()
{
    showTime.store(T);
    flashLevel.store(0);
    calls.clear();
    currentMode = GL_MODELVIEW;
    glMatrixMode(GL_MODELVIEW);
    recording = true;
    drawFrame();
    recording = false;
    return calls;
}

// The texture-matrix translations in the order drawn: the floor's, then the mesh's.
static std::vector<Call> textureShifts(const std::vector<Call>& frame)
{
    std::vector<Call> shifts;
    for (const Call& call : frame) {
        if (call.matrix == GL_TEXTURE) {
            shifts.push_back(call);
        }
    }
    return shifts;
}

TEST(Transforms, FloorAndMeshTextureDriftOneTextureEveryThirtyUnits)
{
    const std::vector<Call> shifts = textureShifts(recordFrame());
    ASSERT_EQ(shifts.size(), 2u) << "the floor's and the mesh's";
    for (const Call& shift : shifts) {
        EXPECT_EQ(shift.kind, 'T');
        EXPECT_EQ(shift.a, 0);
        EXPECT_NEAR(shift.b, -T / 30.0, 1e-3);
        EXPECT_EQ(shift.c, 0);
    }
}

TEST(Transforms, MeshFloatsAndTurnsAboutItsTiltedAxis)
{
    const std::vector<Call> frame = recordFrame();
    // The mesh's own place and turn come just before its texture drift.
    size_t drift = 0;
    int seen = 0;
    for (size_t i = 0; i < frame.size(); ++i) {
        if (frame[i].matrix == GL_TEXTURE && ++seen == 2) {
            drift = i;
        }
    }
    ASSERT_GE(drift, 2u);
    const Call& place = frame[drift - 2];
    const Call& turn = frame[drift - 1];
    ASSERT_EQ(place.kind, 'T');
    EXPECT_NEAR(place.a, std::cos(0.1 * T), 1e-3);
    EXPECT_NEAR(place.b, 0.5 * std::sin(0.1 * T) + 1, 1e-3);
    EXPECT_NEAR(place.c, std::sin(T / 15.0) - 5, 1e-3);
    ASSERT_EQ(turn.kind, 'R');
    EXPECT_NEAR(turn.a, 5 * T, 1e-2);
    EXPECT_EQ(turn.b, 0);
    EXPECT_EQ(turn.c, 1);
    EXPECT_EQ(turn.d, 0.5f);
}

TEST(Transforms, ScrollerMovesAThirdOfAUnitAndBouncesAtTenTwentyFirsts)
{
    const std::vector<Call> frame = recordFrame();
    int found = 0;
    for (const Call& call : frame) {
        if (call.kind == 'T' && call.matrix == GL_MODELVIEW && call.c == -20) {
            ++found;
            EXPECT_NEAR(call.a, 240 - T / 3.0, 1e-3);
            EXPECT_NEAR(call.b, 11 - std::fabs(std::sin(T * 10.0 / 21.0)), 1e-3);
        }
    }
    EXPECT_EQ(found, 1) << "one scroller placement a frame";
}
