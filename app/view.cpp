#include "app/view.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include "scene/projection.h"

// The double nearest to 2/3, bit pattern 0x3FE5555555555555.
static const double BAND_FRACTION = 2.0 / 3.0;

ViewBand viewBandFor(int height)
{
    if (height == 0) {
        height = 1;
    }
    ViewBand band;
    band.exactHeight = height * BAND_FRACTION;
    band.y = static_cast<int>(band.exactHeight * 0.25);
    band.height = static_cast<int>(band.exactHeight);
    return band;
}

// Main thread.
void resizeView(int width, int height)
{
    ViewBand band = viewBandFor(height);
    glViewport(0, band.y, width, band.height);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(VIEW_FIELD_OF_VIEW, width / band.exactHeight, VIEW_NEAR_PLANE, VIEW_FAR_PLANE);

    glEnable(GL_CULL_FACE);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glColorMaterial(GL_FRONT, GL_AMBIENT_AND_DIFFUSE);
    glMateriali(GL_FRONT, GL_SHININESS, 128);
    glDepthFunc(GL_LEQUAL);
    glMatrixMode(GL_MODELVIEW);
    glClearDepth(20.0);  // clamped by GL to 1.0
    glEnable(GL_COLOR_MATERIAL);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_TEXTURE_2D);
    glClearColor(0, 0, 0, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// Main thread.
bool setBaseState()
{
    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 0.5f);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glEnable(GL_COLOR_MATERIAL);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_TEXTURE_2D);
    return true;
}
