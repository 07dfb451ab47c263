#include "scene/cull.h"

#include <GL/gl.h>

#include <cmath>

// No state: each caller keeps its ViewVolume for one pass.

// Main thread, GL context current.
void currentViewVolume(ViewVolume* volume)
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
            volume->clip[column * 4 + row] = sum;
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        for (int sign = 0; sign < 2; ++sign) {
            double* plane = volume->plane[2 * axis + sign];
            for (int column = 0; column < 4; ++column) {
                const double w = volume->clip[column * 4 + 3];
                const double v = volume->clip[column * 4 + axis];
                plane[column] = sign == 0 ? w + v : w - v;
            }
            volume->reach[2 * axis + sign] =
                std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        }
    }
}

// Any thread.
bool sphereOutsideView(const ViewVolume& volume, double x, double y, double z, double radius)
{
    for (int i = 0; i < 6; ++i) {
        const double* plane = volume.plane[i];
        const double distance = plane[0] * x + plane[1] * y + plane[2] * z + plane[3];
        if (distance < -volume.reach[i] * radius * 1.01 - 1e-6) {
            return true;
        }
    }
    return false;
}

// Any thread.
bool rectangleOutsideView(const ViewVolume& volume, double x0, double x1, double y0, double y1,
                          double slack)
{
    const double xs[4] = {x0, x1, x1, x0};
    const double ys[4] = {y0, y0, y1, y1};
    int beyond[6] = {};  // corners beyond each plane
    for (int corner = 0; corner < 4; ++corner) {
        const double* clip = volume.clip;
        const double w = clip[3] * xs[corner] + clip[7] * ys[corner] + clip[15];
        const double margin = slack * std::fabs(w) + 1e-4;
        for (int i = 0; i < 6; ++i) {
            const double* plane = volume.plane[i];
            beyond[i] += plane[0] * xs[corner] + plane[1] * ys[corner] + plane[3] < -margin;
        }
    }
    for (int i = 0; i < 6; ++i) {
        if (beyond[i] == 4) {
            return true;
        }
    }
    return false;
}
