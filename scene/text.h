// Outline-font text and the scroller line.
#pragma once

#include "platform/platform.h"

enum {
    GLYPH_COUNT = 255,         // glyph lists for codes 0 to 254
    FONT_LIST_COUNT = 256,     // list names reserved; the last stays empty
    TEXT_BUFFER_SIZE = 25600,  // bytes of a formatted line, terminator included
};

// First of the 256 display-list names; the glyph of code k is list
// fontListBase + k. Main thread; set once by createOutlineFont.
extern unsigned fontListBase;
// Per code 0 to 254; drawText reads only cellIncX, the pen advance in em
// units. Main thread; filled once by createOutlineFont.
extern PlatGlyphMetrics glyphMetrics[GLYPH_COUNT];
// The scroller's one line of printable ASCII.
extern const char* const scrollerText;

// Forgets the glyph lists and metrics (their lists went with the GL context
// that held them), as a new process has none. Main thread, between shows.
void resetTextState();
// Builds the glyph lists from the embedded font (em height 1, flat, in
// z = 0). Main thread, start-up, GL context current.
void createOutlineFont();

// Formats a line like printf and draws it centred on the modelview origin,
// shadow first; leaves the projection at aspect 1.0, blending on with
// (SRC_ALPHA, ONE_MINUS_SRC_ALPHA) and texture 0 bound. A null format sets
// that state and draws nothing. Main thread.
void drawText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The pen advance of a line: the sum of its characters' cellIncX, in a
// single-precision float from 0, in order. Main thread.
float textWidth(const char* line);
