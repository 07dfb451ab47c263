#include "scene/text.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "assets/assets.h"

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

// Main thread, start-up, GL context current.
void createOutlineFont()
{
    fontListBase = glGenLists(FONT_LIST_COUNT);
    platBuildOutlineFont(assetFontTtf, assetFontTtfSize, 0, GLYPH_COUNT, fontListBase, glyphMetrics);
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

// The product of two column-major 4 by 4 matrices, a * b.
static void multiply(const double* a, const double* b, double* product)
{
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += a[k * 4 + row] * b[column * 4 + k];
            }
            product[column * 4 + row] = sum;
        }
    }
}

// True when the rectangle x0..x1, y0..y1 in z = 0 of the current modelview
// lies wholly beyond one plane of the view volume, with room to spare for
// the float steps by which GL itself moves the pen.
static bool outsideView(const double* clip, double x0, double x1, double y0, double y1)
{
    const double xs[4] = {x0, x1, x1, x0};
    const double ys[4] = {y0, y0, y1, y1};
    // For each plane (w + x, w - x, w + y, w - y, w + z, w - z), how many corners are beyond it.
    int beyond[6] = {};
    for (int corner = 0; corner < 4; ++corner) {
        double p[4];
        for (int row = 0; row < 4; ++row) {
            p[row] = clip[row] * xs[corner] + clip[4 + row] * ys[corner] + clip[12 + row];
        }
        const double margin = 0.02 * std::fabs(p[3]) + 1e-4;
        for (int axis = 0; axis < 3; ++axis) {
            beyond[2 * axis] += p[3] + p[axis] < -margin;
            beyond[2 * axis + 1] += p[3] - p[axis] < -margin;
        }
    }
    for (int plane = 0; plane < 6; ++plane) {
        if (beyond[plane] == 4) {
            return true;
        }
    }
    return false;
}

// Calls, for each byte of the line from the current origin, its glyph list,
// or its advance list where the glyph lies wholly outside the view.
static void callGlyphLists(const char* line, int length)
{
    static GLuint lists[TEXT_BUFFER_SIZE];   // offsets from fontListBase; main thread only
    GLfloat modelview[16] = {}, projection[16] = {};
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);
    double m[16], p[16], clip[16];
    for (int i = 0; i < 16; ++i) {
        m[i] = modelview[i];
        p[i] = projection[i];
    }
    multiply(p, m, clip);

    double pen = 0;   // em units along x from the line's origin
    for (int i = 0; i < length; ++i) {
        const unsigned code = static_cast<unsigned char>(line[i]);
        lists[i] = code;
        if (code >= GLYPH_COUNT) {
            continue;
        }
        const PlatGlyphMetrics& glyph = glyphMetrics[code];
        const double left = pen + glyph.originX;
        if (outsideView(clip, left, left + glyph.blackBoxX, glyph.originY - glyph.blackBoxY, glyph.originY)) {
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
