// The scene's pieces on their own: the quad primitive in a real context,
// the texture set, the panel flips, the star scatter and wrap, the mesh's
// vertex normals and the text's layout.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/view.h"
#include "assets/assets.h"
#include "image/textures.h"
#include "scene/frame.h"
#include "scene/mesh.h"
#include "scene/stars.h"
#include "scene/text.h"
#include "tests/scene/frame_probe.h"
#include "tools/werule-capture/capture.h"

// Puts back the view and base state the intro's window leaves.
static void restoreView()
{
    glFrontFace(GL_CCW);
    glDisable(GL_BLEND);
    resizeView(PROBE_WIDTH, PROBE_HEIGHT);
    setBaseState();
}

// ------------------------------------------------------------- drawQuad

static const unsigned PROBE_TEXTURE = 9;  // outside the show's names 1 to 7

// Reads the window pixel at (column, row from the bottom).
static void readPixel(int column, int row, uint8_t* rgb)
{
    glReadPixels(column, row, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
}

TEST(DrawQuad, FirstImageRowAtTheTopLeftAndFrontFaceTowardTheViewer)
{
    // A 2 by 2 texture: first row red, green; second row blue, yellow.
    const uint8_t texels[] = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 0, 255};
    glBindTexture(GL_TEXTURE_2D, PROBE_TEXTURE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);

    glViewport(0, 0, PROBE_WIDTH, PROBE_HEIGHT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_CULL_FACE);  // back faces culled, counter-clockwise in front
    glColor4f(1, 1, 1, 1);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    drawQuad(2, 2, PROBE_TEXTURE);  // fills the view exactly
    glFinish();

    uint8_t rgb[3];
    const struct {
        int column, row;  // row from the bottom
        uint8_t r, g, b;
    } corners[] = {
        {10, PROBE_HEIGHT - 10, 255, 0, 0},                // top left: s 0, t 0
        {PROBE_WIDTH - 10, PROBE_HEIGHT - 10, 0, 255, 0},  // top right: s 1, t 0
        {10, 10, 0, 0, 255},                               // bottom left: s 0, t 1
        {PROBE_WIDTH - 10, 10, 255, 255, 0},               // bottom right: s 1, t 1
    };
    for (const auto& corner : corners) {
        readPixel(corner.column, corner.row, rgb);
        EXPECT_EQ(rgb[0], corner.r) << corner.column << "," << corner.row;
        EXPECT_EQ(rgb[1], corner.g) << corner.column << "," << corner.row;
        EXPECT_EQ(rgb[2], corner.b) << corner.column << "," << corner.row;
    }

    // Taken as clockwise-in-front, the same quad is culled: it winds counter-clockwise.
    glFrontFace(GL_CW);
    glClear(GL_COLOR_BUFFER_BIT);
    drawQuad(2, 2, PROBE_TEXTURE);
    glFinish();
    readPixel(PROBE_WIDTH / 2, PROBE_HEIGHT / 2, rgb);
    EXPECT_EQ(rgb[0] | rgb[1] | rgb[2], 0);

    // Height comes first: a 1 high, 2 wide quad fills the middle half of the rows.
    glFrontFace(GL_CCW);
    glBindTexture(GL_TEXTURE_2D, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    drawQuad(1, 2, 0);
    glFinish();
    readPixel(5, PROBE_HEIGHT / 2, rgb);
    EXPECT_EQ(rgb[0], 255);
    readPixel(PROBE_WIDTH / 2, PROBE_HEIGHT - 5, rgb);
    EXPECT_EQ(rgb[0], 0);
    restoreView();
}

// ---------------------------------------------------------- texture set

TEST(TextureSet, SevenEmbeddedPicturesUploadUnderTheirNamesWithKeyedAlpha)
{
    const struct {
        unsigned name;
        const unsigned char* png;
        uint32_t size;
        int key;  // -1: no key
    } rows[] = {
        {TEX_CHECKER, assetCheckerPng, assetCheckerPngSize, -1},
        {TEX_FLARE, assetFlarePng, assetFlarePngSize, -1},
        {TEX_LOGO, assetLogoPng, assetLogoPngSize, 231},
        {TEX_BACKDROP, assetBackdropPng, assetBackdropPngSize, -1},
        {TEX_GREETINGS, assetGreetingsPng, assetGreetingsPngSize, 0},
        {TEX_CREDITS, assetCreditsPng, assetCreditsPngSize, 0},
        {TEX_PHOTO, assetPhotoPng, assetPhotoPngSize, -1},
    };
    std::vector<uint8_t> uploaded(256 * 256 * 4);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Picture picture = loadPicture(row.png, row.size, -1);
        ASSERT_EQ(picture.width, 256) << "the embedded picture does not decode";
        ASSERT_EQ(picture.height, 256);
        glBindTexture(GL_TEXTURE_2D, row.name);
        GLint width = 0, height = 0, format = 0, minFilter = 0, magFilter = 0, alphaBits = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaBits);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
        EXPECT_EQ(width, 256);
        EXPECT_EQ(height, 256);
        EXPECT_EQ(format, row.key >= 0 ? GL_RGBA : GL_RGB);
        EXPECT_EQ(alphaBits > 0, row.key >= 0);
        EXPECT_EQ(minFilter, GL_LINEAR);
        EXPECT_EQ(magFilter, GL_LINEAR);
        GLint level1Width = -1;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &level1Width);
        EXPECT_EQ(level1Width, 0) << "a mipmap level exists";

        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, uploaded.data());
        int mismatches = 0, keyed = 0;
        for (int i = 0; i < 256 * 256; ++i) {
            const uint8_t* want = &picture.rgba[i * 4];  // texture row 0 is the Image's first row
            const uint8_t* got = &uploaded[i * 4];
            const bool isKey =
                row.key >= 0 && want[0] == row.key && want[1] == row.key && want[2] == row.key;
            const int alpha = row.key < 0 ? 255 : (isKey ? 0 : 255);
            mismatches +=
                got[0] != want[0] || got[1] != want[1] || got[2] != want[2] || got[3] != alpha;
            keyed += isKey;
        }
        EXPECT_EQ(mismatches, 0);
        if (row.key >= 0) {
            EXPECT_GT(keyed, 1000) << "the key colour hardly occurs";
        }
    }
}

TEST(TextureSet, ColourKeyMatchesExactlyAndCanWriteElsewhere)
{
    std::vector<uint8_t> source(256 * 256 * 4, 0);
    std::vector<uint8_t> target(256 * 256 * 4, 0x55);
    const uint8_t samples[][3] = {{231, 231, 231}, {230, 231, 231}, {231, 231, 232}, {0, 0, 0}};
    for (int i = 0; i < 4; ++i) {
        memcpy(&source[i * 4], samples[i], 3);
        source[i * 4 + 3] = 77;
    }
    applyColourKey(source.data(), target.data(), 231, 231, 231);
    EXPECT_EQ(target[3], 0);
    EXPECT_EQ(target[7], 255);
    EXPECT_EQ(target[11], 255);
    EXPECT_EQ(target[15], 255);
    EXPECT_EQ(memcmp(&target[4], samples[1], 3), 0);
    EXPECT_EQ(target[256 * 256 * 4 - 1], 255) << "the last pixel is keyed too";
    EXPECT_EQ(source[3], 77) << "the source is left alone";
}

// ---------------------------------------------------------- panel flips

TEST(PanelFlips, EveryFrameOnAZeroAlphaTickFlipsAndOtherFramesDoNot)
{
    panelSelect = 1;
    flipPanelAt(0);
    EXPECT_EQ(panelSelect, 2);
    flipPanelAt(0);
    EXPECT_EQ(panelSelect, 1);
    flipPanelAt(0);  // three frames on one tick: the last flip decides
    EXPECT_EQ(panelSelect, 2);

    EXPECT_EQ(panelAlpha(1.0f), 5);  // trunc(sin(0.02) * 255) = trunc(5.1)
    flipPanelAt(1.0f);
    EXPECT_EQ(panelSelect, 2);

    // Around the zero at t = 157.08 the alpha computes 0 on either side.
    EXPECT_EQ(panelAlpha(157.0f), 0);
    EXPECT_EQ(panelAlpha(157.2f), 0);
    EXPECT_EQ(panelAlpha(157.6f), 2);
    flipPanelAt(157.0f);
    EXPECT_EQ(panelSelect, 1);
    flipPanelAt(157.2f);
    EXPECT_EQ(panelSelect, 2);

    EXPECT_GE(panelAlpha(78.54f), 254);   // sin peaks
    EXPECT_GE(panelAlpha(235.62f), 254);  // and the negative peak counts as bright

    panelSelect = 0;  // a value it never takes turns into 2
    flipPanelAt(0);
    EXPECT_EQ(panelSelect, 2);
}

TEST(PanelFlips, ReplayedFramesBeforeTheFirstTickAllFlip)
{
    // At 60 frames a second, frames 0 and 1 fall before the first tick (t = 0).
    const struct {
        double seconds;
        int panel;
    } cases[] = {{0, 1}, {1 / 60.0, 2}, {2 / 60.0, 1}, {3 / 60.0, 1}, {0.5, 1}};
    for (const auto& c : cases) {
        setShowStateAt(ShowMoment{c.seconds, 1, 0});
        EXPECT_EQ(panelSelect, c.panel) << c.seconds << " s";
    }
    EXPECT_EQ(ticksAt(0.3), 15);
    EXPECT_EQ(ticksAt(0.019), 0);
    EXPECT_EQ(ticksAt(144), 7200);
    EXPECT_EQ(framesBefore(1), 60);
    EXPECT_EQ(framesBefore(1.001), 61);
}

// ---------------------------------------------------------------- stars

TEST(Stars, ScatterDrawsFiveNumbersPerStarInOrder)
{
    srand(4242);
    scatterStars();
    srand(4242);
    int wrong = 0;
    for (const Star& star : stars) {
        const int x = rand() % 200 - 100;
        const int y = rand() % 200 - 100;
        const int z = rand() % 600 - 300;
        const int angle = rand() % 360;
        const int speed = rand() % 9 + 1;
        wrong += star.x != x || star.y != y || star.z.load() != z || star.angle != angle ||
                 star.speed != speed;
    }
    EXPECT_EQ(wrong, 0);
    float lowest = 0, highest = 0;
    for (const Star& star : stars) {
        lowest = std::min(lowest, star.z.load());
        highest = std::max(highest, star.z.load());
    }
    EXPECT_GE(lowest, -300.0f);
    EXPECT_LE(highest, 299.0f);
    // Another seed, another field.
    const float firstX = stars[0].x, firstZ = stars[0].z.load();
    srand(4243);
    scatterStars();
    EXPECT_TRUE(stars[0].x != firstX || stars[0].z.load() != firstZ || stars[1].x != stars[1].y);
}

TEST(Stars, MoveStepsBySpeedAndWrapsPastTheFarEndToExactly300)
{
    srand(1);
    scatterStars();
    // A depth from which speed 2 lands exactly on -300.
    float landing = -300.0f + 2 * 0.05f;
    for (int i = 0; i < 64 && landing - 2 * 0.05f != -300.0f; ++i) {
        landing = std::nextafter(landing, landing - 2 * 0.05f > -300.0f ? -400.0f : 0.0f);
    }
    ASSERT_EQ(landing - 2 * 0.05f, -300.0f);

    stars[0].z = -299.98f;
    stars[0].speed = 1;
    stars[1].z = landing;
    stars[1].speed = 2;
    stars[2].z = 0;
    stars[2].speed = 9;
    stars[3].z = -300.0f;
    stars[3].speed = 1;
    const float x = stars[0].x, y = stars[0].y;
    const int angle = stars[0].angle;
    moveStars();
    EXPECT_EQ(stars[0].z.load(), 300.0f);
    EXPECT_EQ(stars[1].z.load(), -300.0f) << "landing exactly on -300 keeps the star there";
    EXPECT_EQ(stars[2].z.load(), 0.0f - 9 * 0.05f);
    EXPECT_EQ(stars[3].z.load(), 300.0f);
    EXPECT_EQ(stars[0].x, x);
    EXPECT_EQ(stars[0].y, y);
    EXPECT_EQ(stars[0].angle, angle);
    moveStars();
    EXPECT_EQ(stars[0].z.load(), 300.0f - 0.05f);
    EXPECT_EQ(stars[1].z.load(), 300.0f);
}

// ----------------------------------------------------------------- mesh

TEST(Mesh, EmbeddedMeshGetsUnitNormalsThatFollowItsFaces)
{
    // openCapture ran initMesh and computeVertexNormals(0) as start-up does.
    const Mesh& mesh = sceneMesh;
    ASSERT_EQ(mesh.loaded, 1);
    ASSERT_EQ(mesh.vertexCount, 782u);
    ASSERT_EQ(mesh.faceCount, 1580u);
    ASSERT_NE(mesh.vertexNormals, nullptr);
    const float expectBounds[6] = {-0.65789002f, 0.65789002f,  -0.65788901f,
                                   0.65789098f,  -0.65789002f, 0.65789002f};
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(mesh.bounds[i], expectBounds[i], 1e-5) << i;
    }

    // The distinct face normals around each vertex, with how many triangles carry each.
    struct Around {
        float normal[8][3];
        int count[8];
        int distinct = 0;
    };
    std::vector<Around> around(mesh.vertexCount);
    for (uint32_t f = 0; f < mesh.faceCount; ++f) {
        const float* n = mesh.faceNormals + 3 * f;
        for (int c = 0; c < 3; ++c) {
            Around& a = around[mesh.faces[3 * f + c]];
            int k = 0;
            while (k < a.distinct && (std::fabs(a.normal[k][0] - n[0]) > 1e-5f ||
                                      std::fabs(a.normal[k][1] - n[1]) > 1e-5f ||
                                      std::fabs(a.normal[k][2] - n[2]) > 1e-5f)) {
                ++k;
            }
            if (k == a.distinct) {
                ASSERT_LT(a.distinct, 8);
                memcpy(a.normal[k], n, sizeof a.normal[k]);
                a.count[k] = 0;
                ++a.distinct;
            }
            ++a.count[k];
        }
    }
    int flat = 0, edges = 0;
    for (uint32_t v = 0; v < mesh.vertexCount; ++v) {
        const float* n = mesh.vertexNormals + 3 * v;
        EXPECT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 1.0, 1e-5)
            << "vertex " << v;
        const Around& a = around[v];
        ASSERT_GT(a.distinct, 0) << "vertex " << v << " belongs to no triangle";
        if (a.distinct == 1) {
            for (int i = 0; i < 3; ++i) {
                EXPECT_NEAR(n[i], a.normal[0][i], 1e-5) << "vertex " << v;
            }
            ++flat;
        } else if (a.distinct == 2) {
            // Weighted by the triangles of each plane that meet at the vertex.
            float sum[3];
            for (int i = 0; i < 3; ++i) {
                sum[i] = a.count[0] * a.normal[0][i] + a.count[1] * a.normal[1][i];
            }
            const float length = std::sqrt(sum[0] * sum[0] + sum[1] * sum[1] + sum[2] * sum[2]);
            for (int i = 0; i < 3; ++i) {
                EXPECT_NEAR(n[i], sum[i] / length, 1e-5) << "vertex " << v;
            }
            ++edges;
        }
    }
    EXPECT_GT(flat, 200);
    EXPECT_GT(edges, 20);
}

TEST(Mesh, EmptyRecordDrawsAnEmptyBatch)
{
    Mesh empty = {};
    glGetError();
    drawMesh(empty);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// ----------------------------------------------------------------- text

namespace {

// One triangle of a feedback buffer, in eye space, with its colour.
struct FedTriangle {
    double x[3], y[3];
    float red, alpha;
};

}  // namespace

// Draws with drawText at eye depth `depth` in feedback mode and returns its
// triangles, taken back to eye x and y at depth (shadow: depth - 0.01).
static std::vector<FedTriangle> feedbackText(const char* line, double depth)
{
    static std::vector<GLfloat> buffer(4 << 20);
    glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR, buffer.data());
    glRenderMode(GL_FEEDBACK);
    glLoadIdentity();
    glTranslatef(0, 0, static_cast<float>(depth));
    drawText("%s", line);
    const GLint used = glRenderMode(GL_RENDER);
    glLoadIdentity();
    EXPECT_GE(used, 0) << "feedback buffer too small";

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const double focal = 1 / std::tan(30.0 * M_PI / 180.0);  // aspect 1.0
    std::vector<FedTriangle> triangles;
    for (GLint i = 0; i < used;) {
        const GLint token = static_cast<GLint>(buffer[i++]);
        EXPECT_EQ(token, GL_POLYGON_TOKEN);
        if (token != GL_POLYGON_TOKEN) {
            break;
        }
        const int corners = static_cast<int>(buffer[i++]);
        EXPECT_EQ(corners, 3);
        FedTriangle t = {};
        for (int c = 0; c < corners; ++c, i += 7) {
            const GLfloat* v = &buffer[i];
            const double ndcX = (v[0] - viewport[0]) / viewport[2] * 2 - 1;
            const double ndcY = (v[1] - viewport[1]) / viewport[3] * 2 - 1;
            const double eyeDepth = v[6] < 1 ? -(depth - 0.01) : -depth;  // shadow: alpha 0.4
            if (c < 3) {
                t.x[c] = ndcX * eyeDepth / focal;
                t.y[c] = ndcY * eyeDepth / focal;
            }
            t.red = v[3];
            t.alpha = v[6];
        }
        triangles.push_back(t);
    }
    return triangles;
}

namespace {

struct Extent {
    double left = 1e9, right = -1e9, bottom = 1e9, top = -1e9;
    int triangles = 0;
};

}  // namespace

static Extent extentOf(const std::vector<FedTriangle>& triangles, bool shadow)
{
    Extent e;
    for (const FedTriangle& t : triangles) {
        if ((t.alpha < 1) != shadow) {
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            e.left = std::min(e.left, t.x[c]);
            e.right = std::max(e.right, t.x[c]);
            e.bottom = std::min(e.bottom, t.y[c]);
            e.top = std::max(e.top, t.y[c]);
        }
        ++e.triangles;
    }
    return e;
}

TEST(Text, LineIsCentredByItsSummedAdvancesWithTheShadowTrailing)
{
    const char* line = "AWAY, Tiger!";
    float width = 0;
    for (const char* c = line; *c; ++c) {
        width += glyphMetrics[static_cast<unsigned char>(*c)].cellIncX;
    }
    EXPECT_EQ(textWidth(line), width);
    ASSERT_GT(width, 5.0f);

    const std::vector<FedTriangle> triangles = feedbackText(line, -8);
    const Extent main = extentOf(triangles, false);
    const Extent shadow = extentOf(triangles, true);
    ASSERT_GT(main.triangles, 20);
    EXPECT_EQ(main.triangles, shadow.triangles);
    // The shadow comes first: black at 0.4; then the line, white.
    EXPECT_LT(triangles.front().alpha, 1.0f);
    EXPECT_EQ(triangles.front().red, 0.0f);
    EXPECT_EQ(triangles.back().alpha, 1.0f);
    EXPECT_EQ(triangles.back().red, 1.0f);

    const PlatGlyphMetrics& first = glyphMetrics[static_cast<unsigned char>('A')];
    const PlatGlyphMetrics& last = glyphMetrics[static_cast<unsigned char>('!')];
    EXPECT_NEAR(main.left, -0.5 * width + first.originX, 1e-3);
    EXPECT_NEAR(main.right, 0.5 * width - last.cellIncX + last.originX + last.blackBoxX, 1e-3);
    EXPECT_NEAR(shadow.left - main.left, 0.00738916 * width, 1e-3);
    EXPECT_NEAR(shadow.bottom - main.bottom, -0.06, 1e-3);
    EXPECT_NEAR(shadow.top - main.top, -0.06, 1e-3);

    // One more letter moves the start left by half its advance.
    const Extent longer = extentOf(feedbackText("AWAY, Tiger!!", -8), false);
    EXPECT_NEAR(main.left - longer.left, 0.5 * last.cellIncX, 1e-3);
}

TEST(Text, FormatsBoundedAndNullOrEmptyDrawNothing)
{
    EXPECT_TRUE(feedbackText("", -8).empty());
    EXPECT_EQ(textWidth(""), 0.0f);

    // drawText(nullptr) sets the aspect-1.0 projection and blend state only.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_BLEND);
    drawText(nullptr);
    GLfloat projection[16];
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    EXPECT_NEAR(projection[0], projection[5], 1e-6);  // aspect 1.0
    EXPECT_NEAR(projection[5], 1 / std::tan(30.0 * M_PI / 180.0), 1e-5);
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GLint bound = -1, mode = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(bound, 0);
    EXPECT_EQ(mode, GL_MODELVIEW);

    // A line longer than the buffer is cut at 25,599 characters: of a run of
    // glyphless codes ending in two letters, only the first letter is left.
    const Extent one = extentOf(feedbackText("l", -8), false);
    ASSERT_GT(one.triangles, 0);
    std::string tooLong(TEXT_BUFFER_SIZE - 2, '\x01');
    tooLong += "ll";
    EXPECT_EQ(extentOf(feedbackText(tooLong.c_str(), -8), false).triangles, one.triangles);
    tooLong.erase(0, 1);
    EXPECT_EQ(extentOf(feedbackText(tooLong.c_str(), -8), false).triangles, 2 * one.triangles);
    restoreView();
}

// ------------------------------------------- passing over what is unseen

static std::vector<uint8_t> readBand()
{
    std::vector<uint8_t> rgb(static_cast<size_t>(PROBE_WIDTH) * PROBE_HEIGHT * 3);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, PROBE_WIDTH, PROBE_HEIGHT, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    return rgb;
}

static void clearGrey()
{
    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_DEPTH_TEST);
    glColor4f(1, 1, 1, 1);
}

TEST(Culling, ScrollerDrawsTheSamePixelsAsCallingEveryGlyph)
{
    const int length = static_cast<int>(strlen(scrollerText));
    const float width = textWidth(scrollerText);
    // From its entry until its right end nears the left edge of the view.
    const float lastTime = (240 + 0.5f * width) / 0.33333334f;
    for (float t : {0.0f, 0.25f * lastTime, 0.5f * lastTime, 0.97f * lastTime}) {
        SCOPED_TRACE(t);
        clearGrey();
        glLoadIdentity();
        glTranslatef(240 - t * 0.33333334f, 10.5f, -20);
        drawText("%s", scrollerText);
        const std::vector<uint8_t> drawn = readBand();

        // The line as plain display-list calls over every byte.
        clearGrey();
        glLoadIdentity();
        glTranslatef(240 - t * 0.33333334f, 10.5f, -20);
        drawText(nullptr);
        glPushMatrix();
        glTranslatef(-0.49261084f * width, -0.06f, -0.01f);
        glColor4f(0, 0, 0, 0.4f);
        glListBase(fontListBase);
        glCallLists(length, GL_UNSIGNED_BYTE, scrollerText);
        glPopMatrix();
        glPushMatrix();
        glColor4f(1, 1, 1, 1);
        glTranslatef(-0.5f * width, 0, 0);
        glCallLists(length, GL_UNSIGNED_BYTE, scrollerText);
        glPopMatrix();
        const std::vector<uint8_t> every = readBand();
        EXPECT_TRUE(drawn == every);
        int lit = 0;
        for (size_t i = 0; i < drawn.size(); i += 3) {
            lit += drawn[i] > 200;
        }
        EXPECT_GT(lit, 50) << "no letters in view";
    }
    glLoadIdentity();
    restoreView();
}

TEST(Culling, StarfieldDrawsTheSamePixelsAsDrawingEveryStar)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        srand(seed);
        scatterStars();
        for (int tick = 0; tick < 200 * static_cast<int>(seed); ++tick) {
            moveStars();
        }
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        gluPerspective(60, 2, 0.2, 5000);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
        clearGrey();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        drawStars();
        const std::vector<uint8_t> drawn = readBand();

        glClear(GL_COLOR_BUFFER_BIT);
        for (const Star& star : stars) {
            glPushMatrix();
            glTranslatef(star.x, star.y, star.z.load());
            glRotatef(static_cast<float>(star.angle), 0, 0, 1);
            drawQuad(2, 2, TEX_FLARE);
            glPopMatrix();
        }
        const std::vector<uint8_t> every = readBand();
        EXPECT_TRUE(drawn == every) << "seed " << seed;
        int lit = 0;
        for (size_t i = 0; i < drawn.size(); i += 3) {
            lit += drawn[i] > 100;
        }
        EXPECT_GT(lit, 100) << "no stars in view";
    }
    glDisable(GL_BLEND);
    restoreView();
}
