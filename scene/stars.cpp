#include "scene/stars.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>

#include "image/textures.h"
#include "scene/frame.h"

// ------------------------------------------------------------------ state
// x, y, angle, speed: written once by scatterStars (main thread, before the
// timer starts). z: written by moveStars (timer thread), read by drawStars
// (main thread), each access one relaxed load or store.
Star stars[STAR_COUNT];

static const float STAR_STEP = 0.05f;   // units along -z per tick and unit of speed

// Main thread, start-up.
void scatterStars()
{
    for (Star& star : stars) {
        star.x = static_cast<float>(rand() % 200 - 100);
        star.y = static_cast<float>(rand() % 200 - 100);
        star.z.store(static_cast<float>(rand() % 600 - 300), std::memory_order_relaxed);
        star.angle = rand() % 360;
        star.speed = static_cast<float>(rand() % 9 + 1);
    }
}

// Timer thread.
void moveStars()
{
    for (Star& star : stars) {
        float z = star.z.load(std::memory_order_relaxed) - star.speed * STAR_STEP;
        if (!(z >= STAR_FAR_Z)) {
            z = STAR_WRAP_Z;
        }
        star.z.store(z, std::memory_order_relaxed);
    }
}

// Reads the current projection times modelview, column-major.
static void currentClipMatrix(double* clip)
{
    GLfloat modelview[16] = {}, projection[16] = {};
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<double>(projection[k * 4 + row]) * modelview[column * 4 + k];
            }
            clip[column * 4 + row] = sum;
        }
    }
}

// The six planes of the view volume (w + x, w - x, w + y, w - y, w + z,
// w - z >= 0) as rows over (x, y, z, 1), each with the length of its x, y, z
// part, so a sphere's distance beyond a plane can be bounded.
struct ViewPlanes {
    double plane[6][4];
    double reach[6];   // length of (a, b, c) of each plane
};

static void viewPlanesOf(const double* clip, ViewPlanes* planes)
{
    for (int axis = 0; axis < 3; ++axis) {
        for (int sign = 0; sign < 2; ++sign) {
            double* plane = planes->plane[2 * axis + sign];
            for (int column = 0; column < 4; ++column) {
                const double w = clip[column * 4 + 3];
                const double v = clip[column * 4 + axis];
                plane[column] = sign == 0 ? w + v : w - v;
            }
            planes->reach[2 * axis + sign] =
                std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        }
    }
}

// True when every point within `radius` of (x, y, z) lies outside the view
// volume, with a margin, so drawing there would change no pixel.
static bool sphereOutside(const ViewPlanes& planes, float x, float y, float z, double radius)
{
    for (int i = 0; i < 6; ++i) {
        const double* plane = planes.plane[i];
        const double distance = plane[0] * x + plane[1] * y + plane[2] * z + plane[3];
        if (distance < -planes.reach[i] * radius * 1.01 - 1e-6) {
            return true;
        }
    }
    return false;
}

// Main thread. A star that lies wholly outside the view is passed over: its
// quad would be clipped away whole, so the picture is the same.
void drawStars()
{
    double clip[16];
    currentClipMatrix(clip);
    ViewPlanes planes;
    viewPlanesOf(clip, &planes);
    const double flareRadius = std::sqrt(2.0);   // corners of the 2 by 2 quad, at any angle

    glPushMatrix();
    for (const Star& star : stars) {
        const float z = star.z.load(std::memory_order_relaxed);
        if (sphereOutside(planes, star.x, star.y, z, flareRadius)) {
            continue;
        }
        glPushMatrix();
        glTranslatef(star.x, star.y, z);
        glRotatef(static_cast<float>(star.angle), 0, 0, 1);
        drawQuad(2, 2, TEX_FLARE);
        glPopMatrix();
    }
    glPopMatrix();
}
