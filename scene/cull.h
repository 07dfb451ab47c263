// Tests for geometry that lies wholly outside the view volume and so cannot
// change a pixel: such geometry may be passed over without changing the
// picture. Both tests keep a margin, so rounding never culls what shows.
#pragma once

// The current projection times modelview (column-major), and the six planes
// of its view volume (w + x, w - x, w + y, w - y, w + z, w - z >= 0) as rows
// over (x, y, z, 1) with the length of each plane's x, y, z part.
struct ViewVolume {
    double clip[16];
    double plane[6][4];
    double reach[6];
};

// Reads the current matrices. Main thread, GL context current.
void currentViewVolume(ViewVolume* volume);

// True when every point within `radius` of (x, y, z) lies outside.
bool sphereOutsideView(const ViewVolume& volume, double x, double y, double z, double radius);

// True when the rectangle x0..x1, y0..y1 in z = 0 lies wholly outside, with
// a slack of `slack` times each corner's w.
bool rectangleOutsideView(const ViewVolume& volume, double x0, double x1, double y0, double y1,
                          double slack);
