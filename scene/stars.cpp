#include "scene/stars.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>

#include "image/textures.h"
#include "scene/cull.h"
#include "scene/frame.h"

// ------------------------------------------------------------------ state
// x, y, angle, speed: written once by scatterStars (main thread, before the
// timer starts). z: written by moveStars (timer thread), read by drawStars
// (main thread), each access one relaxed load or store.
Star stars[STAR_COUNT];

static const float STAR_STEP = 0.05f;  // units along -z per tick and unit of speed

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

// Main thread. A star that lies wholly outside the view is passed over: its
// quad would be clipped away whole, so the picture is the same.
void drawStars()
{
    ViewVolume volume;
    currentViewVolume(&volume);
    const double flareRadius = std::sqrt(2.0);  // corners of the 2 by 2 quad, at any angle

    glPushMatrix();
    for (const Star& star : stars) {
        const float z = star.z.load(std::memory_order_relaxed);
        if (sphereOutsideView(volume, star.x, star.y, z, flareRadius)) {
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
