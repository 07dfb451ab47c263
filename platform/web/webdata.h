// Data the Linux layer makes at build time for the page (tools/web-data):
// the outline font's glyph triangles.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Glyphs 0 .. 255 as platGlyphTriangles makes them: metrics, and corners
// webGlyphFirstCorner[code] .. webGlyphFirstCorner[code + 1] - 1 of
// webGlyphCorners (x, y pairs, em units; three corners a triangle).
extern const PlatGlyphMetrics webGlyphMetrics[256];
extern const int webGlyphFirstCorner[257];
extern const float webGlyphCorners[];
