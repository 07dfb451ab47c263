// Data the Linux layer makes at build time for the page (tools/web-data):
// the music's positions in time, as the silent stand-in clock plays them,
// and the outline font's glyph triangles.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The position the module reaches, scanned every millisecond from its start
// (order 0, row 0) by platMusicScanPositions: entry k is a pair, the first
// millisecond at which the position holds and the position (order in the
// low 16 bits, row in the high 16); the first is millisecond 0.
extern const uint32_t webMusicChanges[];
extern const int webMusicChangeCount;

// Glyphs 0 .. 255 as platGlyphTriangles makes them: metrics, and corners
// webGlyphFirstCorner[code] .. webGlyphFirstCorner[code + 1] - 1 of
// webGlyphCorners (x, y pairs, em units; three corners a triangle).
extern const PlatGlyphMetrics webGlyphMetrics[256];
extern const int webGlyphFirstCorner[257];
extern const float webGlyphCorners[];
