#include "scene/frame.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

#include "image/textures.h"
#include "scene/mesh.h"
#include "scene/projection.h"
#include "scene/stars.h"
#include "scene/text.h"
#include "show/state.h"

// ------------------------------------------------------------------ state
// Main thread only.
int32_t panelSelect = 1;  // 1: TEX_GREETINGS, 2: TEX_CREDITS

void resetFrameState()
{
    panelSelect = 1;
}

// Single-precision constants of the animation (nearest floats to 1/30, 1/15, 1/3).
static const float FLOOR_SCROLL = 0.033333335f;  // texture units per unit of t
static const float MESH_Z_RATE = 0.06666667f;
static const float SCROLL_RATE = 0.33333334f;           // scene units per unit of t
static const double BOUNCE_RATE = 0.47619047619047616;  // radians per unit of t

// Show time, read afresh at each use; the tick may change it mid-frame.
static float showTimeNow()
{
    return showTime.load(std::memory_order_relaxed);
}

// Main thread.
void drawQuad(float height, float width, unsigned name)
{
    const float x = width / 2;
    const float y = height / 2;
    glBindTexture(GL_TEXTURE_2D, name);
    glBegin(GL_QUADS);
    glTexCoord2f(1, 1);
    glVertex3f(x, -y, 0);
    glTexCoord2f(1, 0);
    glVertex3f(x, y, 0);
    glTexCoord2f(0, 0);
    glVertex3f(-x, y, 0);
    glTexCoord2f(0, 1);
    glVertex3f(-x, -y, 0);
    glEnd();
}

// Any thread.
int panelAlpha(float t)
{
    return std::abs(static_cast<int>(std::sin(static_cast<double>(0.02f * t)) * 255.0));
}

// Main thread.
void flipPanelAt(float t)
{
    if (panelAlpha(t) < 1) {
        panelSelect = panelSelect == 2 ? 1 : 2;
    }
}

static void setSceneProjection()
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(VIEW_FIELD_OF_VIEW, VIEW_SCENE_ASPECT, VIEW_NEAR_PLANE, VIEW_FAR_PLANE);
    glMatrixMode(GL_MODELVIEW);
}

// The scrolling checker floor, the only element that writes depth before the mesh.
static void drawFloor()
{
    glPushMatrix();
    glTranslatef(0, -1, -5);
    glRotatef(-90, 1, 0, 0);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glTranslatef(0, -showTimeNow() * FLOOR_SCROLL, 0);
    drawQuad(10, 10, TEX_CHECKER);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

static void drawLogo()
{
    glColor4f(1, 1, 1, 1);
    glDisable(GL_DEPTH_TEST);
    glPushMatrix();
    glTranslatef(0, -1, -2.3f);
    glRotatef(-90, 1, 0, 0);
    drawQuad(2, 3, TEX_LOGO);
    glPopMatrix();
}

// The sphere-mapped mesh, added at 80 %, floating and turning.
static void drawFloatingMesh()
{
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glBindTexture(GL_TEXTURE_2D, TEX_CHECKER);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glColor4f(1, 1, 1, 0.8f);
    glPushMatrix();
    // The products are single precision; sine and cosine are taken in double.
    const float x = static_cast<float>(std::cos(static_cast<double>(0.1f * showTimeNow())));
    const float y =
        static_cast<float>(0.5 * std::sin(static_cast<double>(0.1f * showTimeNow())) + 1);
    const float z =
        static_cast<float>(std::sin(static_cast<double>(MESH_Z_RATE * showTimeNow())) - 5);
    glTranslatef(x, y, z);
    glRotatef(5 * showTimeNow(), 0, 1, 0.5f);
    glMatrixMode(GL_TEXTURE);
    glPushMatrix();
    glTranslatef(0, -showTimeNow() * FLOOR_SCROLL, 0);
    drawMesh(sceneMesh);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
}

// One of the two credit panels, faded by a sine; flips the choice near its zeros.
static void drawCreditPanel()
{
    glDisable(GL_DEPTH_TEST);
    glPushMatrix();
    glTranslatef(0, 0, -5);
    const int alpha = panelAlpha(showTimeNow());
    glColor4ub(255, 255, 255, static_cast<GLubyte>(alpha));
    // At alpha 0 the additive panel adds nothing to any pixel.
    if (alpha != 0 && panelSelect == 1) {
        drawQuad(5, 5, TEX_GREETINGS);
    } else if (alpha != 0 && panelSelect == 2) {
        drawQuad(5, 5, TEX_CREDITS);
    }
    glPopMatrix();
    flipPanelAt(showTimeNow());
}

static void drawScroller()
{
    glPushMatrix();
    const float x = 240 - showTimeNow() * SCROLL_RATE;
    const float y = static_cast<float>(11 - std::fabs(std::sin(showTimeNow() * BOUNCE_RATE)));
    glTranslatef(x, y, -20);
    drawText("%s", scrollerText);
    glPopMatrix();
}

// The scene pass. Main thread.
static void drawScene()
{
    setSceneProjection();
    glColor4f(1, 1, 1, 1);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);

    // Backdrop, added to the black at 40 %.
    glPushMatrix();
    glTranslatef(0, 0, -10);
    glColor4f(1, 1, 1, 0.4f);
    drawQuad(15, 30, TEX_BACKDROP);
    glPopMatrix();

    glColor4f(1, 1, 1, 1);
    drawStars();

    glEnable(GL_DEPTH_TEST);
    glColor4f(1, 1, 1, 0.8f);
    glDisable(GL_BLEND);
    drawFloor();

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    drawLogo();
    drawFloatingMesh();
    drawCreditPanel();
    drawScroller();
}

// The flash overlay: the photograph between two white panels at flashLevel. Main thread.
static void drawFlashOverlay()
{
    setSceneProjection();
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    const float level = flashLevel.load(std::memory_order_relaxed);
    const GLubyte alpha = static_cast<GLubyte>(static_cast<int>(level));
    glColor4ub(255, 255, 255, alpha);
    if (alpha == 0) {
        return;  // fully transparent: every pixel would stay as it is
    }

    glPushMatrix();
    glTranslatef(0, 0, -10);
    drawQuad(12, 12, TEX_PHOTO);
    glPopMatrix();

    glPushMatrix();
    glTranslatef(-9, 0, -10);
    drawQuad(12, 6, 0);
    glPopMatrix();
    glPushMatrix();
    glTranslatef(9, 0, -10);
    drawQuad(12, 6, 0);
    glPopMatrix();
}

// Main thread, GL context current.
bool drawFrame()
{
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glShadeModel(GL_SMOOTH);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glLoadIdentity();
    glEnable(GL_POLYGON_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    drawScene();
    drawFlashOverlay();
    return true;
}
