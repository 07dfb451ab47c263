#include "scene/text.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "assets/assets.h"

// ------------------------------------------------------------------ state
// Main thread only; set once at start-up, read by every drawText.
unsigned fontListBase = 0;
PlatGlyphMetrics glyphMetrics[GLYPH_COUNT];
const char* const scrollerText = reinterpret_cast<const char*>(assetScrollerTxt);

// Where the shadow starts relative to the line's width, and how far it lies
// below and behind the main line (em units).
static const float SHADOW_START = -0.49261084f;
static const float SHADOW_DROP = -0.06f;
static const float SHADOW_DEPTH = -0.01f;

// Main thread, start-up, GL context current.
void createOutlineFont()
{
    fontListBase = glGenLists(FONT_LIST_COUNT);
    platBuildOutlineFont(assetFontTtf, assetFontTtfSize, 0, GLYPH_COUNT, fontListBase, glyphMetrics);
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

// Calls the glyph lists of the line's bytes from the current origin.
static void callGlyphLists(const char* line, int length)
{
    glPushAttrib(GL_LIST_BIT);
    glListBase(fontListBase);
    glCallLists(length, GL_UNSIGNED_BYTE, line);
    glPopAttrib();
}

// Main thread.
void drawText(const char* format, ...)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(60.0, 1.0, 0.2, 5000.0);
    glMatrixMode(GL_MODELVIEW);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (format == nullptr) {
        return;
    }

    static char line[TEXT_BUFFER_SIZE];   // main thread only
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
