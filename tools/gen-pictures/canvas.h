// The drawing surface shared by the picture makers of gen-pictures.
// Main thread of the tool only.
#pragma once

#include <cstdint>

const int SIDE = 256;  // every picture is SIDE by SIDE pixels

struct Colour {
    float r, g, b;  // display values, 0 to 1 (clamped when stored)
};

// The picture being drawn, [row][column], row 0 at the picture's top.
extern Colour canvas[SIDE][SIDE];

float clamp01(float v);
float mix(float a, float b, float t);
Colour mix(Colour a, Colour b, float t);
float smoothstep(float edge0, float edge1, float x);

// A fixed integer hash, 0 to 1 (no library random generator, whose
// sequence may differ between systems).
float hash2(int x, int y, int seed);
// Smooth value noise, 0 to 1, repeating every period cells.
float valueNoise(float x, float y, int period, int seed);

// Renders the portrait into canvas (upright).
void drawPortrait();
