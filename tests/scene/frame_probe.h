// Helpers for tests that look at captured frames: where an eye-space point
// lands in the 800 by 600 window, and the show's pictures as decoded texels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int PROBE_WIDTH = 800;
constexpr int PROBE_HEIGHT = 600;
constexpr int PROBE_BAND_TOP = 100;     // first row of the picture, counted from the top
constexpr int PROBE_BAND_BOTTOM = 500;  // first row below it

// One captured frame, RGB, top row first.
struct Frame {
    std::vector<uint8_t> rgb;
    const uint8_t* at(int column, int row) const
    {
        return &rgb[(static_cast<size_t>(row) * PROBE_WIDTH + column) * 3];
    }
};

// Window position (column, row from the top) of an eye-space point under
// the perspective of 60 degrees and the given aspect in the letterbox band.
struct Pixel {
    double column;
    double row;
};
Pixel projectPoint(double x, double y, double z, double aspect);

// A show picture decoded by the show's own decoder, colour-keyed like the
// texture set when key >= 0. Texel (s, t) in the texture's coordinates.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;  // Image order: row 0 is the PNG's last row
    const uint8_t* texel(double s, double t) const;
    // True when every texel within `radius` of (s, t) has the same colour,
    // so linear filtering cannot change it.
    bool uniformAround(double s, double t, int radius) const;
    // The darkest value of each of R, G, B within `radius` of (s, t): what
    // linear filtering there gives at least.
    void minAround(double s, double t, int radius, int* rgb) const;
};
Picture loadPicture(const unsigned char* png, uint32_t size, int key);
