#include "scene/text.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "assets/assets.h"
#include "scene/cull.h"
#include "scene/projection.h"

// ------------------------------------------------------------------ state
// Main thread only; set once at start-up, read by every drawText.
unsigned fontListBase = 0;
// 256 lists that only move the pen as the glyph lists do: called for glyphs
// that lie wholly outside the view, so the modelview matrix goes through the
// very same steps and every visible glyph lands on the same pixels.
static unsigned advanceListBase = 0;
PlatGlyphMetrics glyphMetrics[GLYPH_COUNT];
const char* const scrollerText = reinterpret_cast<const char*>(assetScrollerTxt);

// Where the shadow starts relative to the line's width, and how far it lies
// below and behind the main line (em units).
static const float SHADOW_START = -0.49261084f;
static const float SHADOW_DROP = -0.06f;
static const float SHADOW_DEPTH = -0.01f;
// How far beyond the view a glyph's box must lie, as a fraction of w, before
// the glyph is passed over.
static const double GLYPH_SLACK = 0.02;

void resetTextState()
{
    fontListBase = 0;
    advanceListBase = 0;
    for (PlatGlyphMetrics& metrics : glyphMetrics) {
        metrics = PlatGlyphMetrics();
    }
}

// Main thread, start-up, GL context current.
void createOutlineFont()
{
    fontListBase = glGenLists(FONT_LIST_COUNT);
    platBuildOutlineFont(assetFontTtf, assetFontTtfSize, 0, GLYPH_COUNT, fontListBase,
                         glyphMetrics);
    advanceListBase = glGenLists(FONT_LIST_COUNT);
    for (int code = 0; code < GLYPH_COUNT; ++code) {
        glNewList(advanceListBase + static_cast<unsigned>(code), GL_COMPILE);
        if (glyphMetrics[code].cellIncX != 0) {
            glTranslatef(glyphMetrics[code].cellIncX, 0, 0);
        }
        glEndList();
    }
}

// Main thread. Codes are taken unsigned; 255 has no glyph and no advance.
float textWidth(const char* line)
{
    float width = 0;
    for (const char* c = line; *c != 0; ++c) {
        const unsigned code = static_cast<unsigned char>(*c);
        if (code < GLYPH_COUNT) {
            width += glyphMetrics[code].cellIncX;
        }
    }
    return width;
}

// Calls, for each byte of the line from the current origin, its glyph list,
// or its advance list where the glyph lies wholly outside the view.
static void callGlyphLists(const char* line, int length)
{
    static GLuint lists[TEXT_BUFFER_SIZE];  // offsets from fontListBase; main thread only
    ViewVolume volume;
    currentViewVolume(&volume);

    double pen = 0;  // em units along x from the line's origin
    for (int i = 0; i < length; ++i) {
        const unsigned code = static_cast<unsigned char>(line[i]);
        lists[i] = code;
        if (code >= GLYPH_COUNT) {
            continue;
        }
        const PlatGlyphMetrics& glyph = glyphMetrics[code];
        const double left = pen + glyph.originX;
        // The slack covers the float steps by which GL itself moves the pen.
        if (rectangleOutsideView(volume, left, left + glyph.blackBoxX,
                                 glyph.originY - glyph.blackBoxY, glyph.originY, GLYPH_SLACK)) {
            lists[i] = advanceListBase - fontListBase + code;
        }
        pen += glyph.cellIncX;
    }
    glPushAttrib(GL_LIST_BIT);
    glListBase(fontListBase);
    glCallLists(length, GL_UNSIGNED_INT, lists);
    glPopAttrib();
}

// Main thread.
void drawText(const char* format, ...)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(VIEW_FIELD_OF_VIEW, VIEW_TEXT_ASPECT, VIEW_NEAR_PLANE, VIEW_FAR_PLANE);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (format == nullptr) {
        return;
    }

    static char line[TEXT_BUFFER_SIZE];  // main thread only
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    const int length = static_cast<int>(strlen(line));
    const float width = textWidth(line);

    glPushMatrix();
    glTranslatef(SHADOW_START * width, SHADOW_DROP, SHADOW_DEPTH);
    glColor4f(0, 0, 0, 0.4f);
    callGlyphLists(line, length);
    glPopMatrix();

    glPushMatrix();
    glColor4f(1, 1, 1, 1);
    glTranslatef(-0.5f * width, 0, 0);
    callGlyphLists(line, length);
    glPopMatrix();
}
