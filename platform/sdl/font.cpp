// Outline glyphs as flat triangles: FreeType reads the font's outlines in
// design units, curves are flattened to within one design unit, and the GLU
// tessellator turns each glyph into counter-clockwise triangles under the
// non-zero winding rule.
#include <GL/gl.h>
#include <GL/glu.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cmath>

#include "platform/tools.h"

// ------------------------------------------------------------------ state
// Main thread only; reused for each glyph in turn.

enum {
    MAX_POINTS = 16384,     // flattened contour points of one glyph
    MAX_CONTOURS = 512,     // contours of one glyph
    MAX_COMBINED = 4096,    // intersection points the tessellator adds per glyph
    MAX_TRIANGLES = 16384,  // triangles of one glyph
};

static double contourPoints[MAX_POINTS][3];  // design units, z = 0
static int contourStarts[MAX_CONTOURS + 1];  // first point of each contour
static int contourCount;
static int pointCount;
static bool outlineOverflow;  // a glyph larger than the arrays

static double combinedPoints[MAX_COMBINED][3];  // design units
static int combinedCount;

static float triangleCorners[MAX_TRIANGLES * 3][2];  // em units, 3 corners a triangle
static int cornerCount;
static bool tessFailed;

static double unitsPerEm = 1;  // design units of the face being read

// The largest distance a flattened curve may stray from the true one.
static const double FLATNESS = 1.0;  // design units

// ------------------------------------------------------ reading outlines

static void addPoint(double x, double y)
{
    const int first = contourStarts[contourCount];
    if (pointCount > first) {
        const double* last = contourPoints[pointCount - 1];
        if (last[0] == x && last[1] == y) {
            return;  // a repeated point would give the tessellator a zero-length edge
        }
    }
    if (pointCount >= MAX_POINTS) {
        outlineOverflow = true;
        return;
    }
    contourPoints[pointCount][0] = x;
    contourPoints[pointCount][1] = y;
    contourPoints[pointCount][2] = 0;
    ++pointCount;
}

// Ends the open contour: drops a closing point equal to the first.
static void closeContour()
{
    const int first = contourStarts[contourCount];
    if (pointCount - first > 1) {
        const double* head = contourPoints[first];
        const double* last = contourPoints[pointCount - 1];
        if (head[0] == last[0] && head[1] == last[1]) {
            --pointCount;
        }
    }
    if (pointCount > first) {
        if (contourCount >= MAX_CONTOURS) {
            outlineOverflow = true;
            return;
        }
        ++contourCount;
    }
    contourStarts[contourCount] = pointCount;
}

static int moveTo(const FT_Vector* to, void*)
{
    closeContour();
    addPoint(static_cast<double>(to->x), static_cast<double>(to->y));
    return 0;
}

static int lineTo(const FT_Vector* to, void*)
{
    addPoint(static_cast<double>(to->x), static_cast<double>(to->y));
    return 0;
}

// The pen: the last point added.
static void penPosition(double* x, double* y)
{
    *x = contourPoints[pointCount - 1][0];
    *y = contourPoints[pointCount - 1][1];
}

// The length of (x, y). Both are whole design units here, so the sum of
// squares is exact and the length is rounded once, as std::hypot would
// round it; std::hypot itself would ask for glibc 2.35 (its hypot's newer
// version), which the release build must not.
static double lengthOf(double x, double y)
{
    return std::sqrt(x * x + y * y);
}

// Segments for a curve whose second derivative is at most `bend` (design
// units): a chord over a parameter step h strays at most h^2 * bend / 8.
static int segmentsFor(double bend)
{
    const int segments = static_cast<int>(std::ceil(std::sqrt(bend / (8 * FLATNESS))));
    return segments < 1 ? 1 : segments;
}

static int conicTo(const FT_Vector* control, const FT_Vector* to, void*)
{
    double x0, y0;
    penPosition(&x0, &y0);
    const double cx = static_cast<double>(control->x), cy = static_cast<double>(control->y);
    const double x2 = static_cast<double>(to->x), y2 = static_cast<double>(to->y);
    const double bend = 2 * lengthOf(x0 - 2 * cx + x2, y0 - 2 * cy + y2);
    const int segments = segmentsFor(bend);
    for (int i = 1; i <= segments; ++i) {
        const double t = static_cast<double>(i) / segments;
        const double u = 1 - t;
        addPoint(u * u * x0 + 2 * u * t * cx + t * t * x2,
                 u * u * y0 + 2 * u * t * cy + t * t * y2);
    }
    return 0;
}

static int cubicTo(const FT_Vector* control1, const FT_Vector* control2, const FT_Vector* to, void*)
{
    double x0, y0;
    penPosition(&x0, &y0);
    const double x1 = static_cast<double>(control1->x), y1 = static_cast<double>(control1->y);
    const double x2 = static_cast<double>(control2->x), y2 = static_cast<double>(control2->y);
    const double x3 = static_cast<double>(to->x), y3 = static_cast<double>(to->y);
    const double bend = 6 * std::fmax(lengthOf(x0 - 2 * x1 + x2, y0 - 2 * y1 + y2),
                                      lengthOf(x1 - 2 * x2 + x3, y1 - 2 * y2 + y3));
    const int segments = segmentsFor(bend);
    for (int i = 1; i <= segments; ++i) {
        const double t = static_cast<double>(i) / segments;
        const double u = 1 - t;
        addPoint(u * u * u * x0 + 3 * u * u * t * x1 + 3 * u * t * t * x2 + t * t * t * x3,
                 u * u * u * y0 + 3 * u * u * t * y1 + 3 * u * t * t * y2 + t * t * t * y3);
    }
    return 0;
}

// Reads the glyph's outline into contourPoints; false when the outline does
// not fit or cannot be read.
static bool readOutline(FT_Outline* outline)
{
    contourCount = 0;
    pointCount = 0;
    contourStarts[0] = 0;
    outlineOverflow = false;
    FT_Outline_Funcs funcs = {};
    funcs.move_to = moveTo;
    funcs.line_to = lineTo;
    funcs.conic_to = conicTo;
    funcs.cubic_to = cubicTo;
    if (FT_Outline_Decompose(outline, &funcs, nullptr) != 0) {
        return false;
    }
    closeContour();
    return !outlineOverflow;
}

// ------------------------------------------------------------ tessellating

static void GLAPIENTRY tessBegin(GLenum)
{}
static void GLAPIENTRY tessEnd()
{}
// Registering an edge-flag callback makes the tessellator emit plain triangles.
static void GLAPIENTRY tessEdgeFlag(GLboolean)
{}

static void GLAPIENTRY tessVertex(void* data)
{
    if (cornerCount >= MAX_TRIANGLES * 3) {
        tessFailed = true;
        return;
    }
    const double* point = static_cast<const double*>(data);
    triangleCorners[cornerCount][0] = static_cast<float>(point[0] / unitsPerEm);
    triangleCorners[cornerCount][1] = static_cast<float>(point[1] / unitsPerEm);
    ++cornerCount;
}

// A point where edges cross or meet: kept for the rest of the glyph.
static void GLAPIENTRY tessCombine(GLdouble coords[3], void* vertexData[4], GLfloat[4], void** out)
{
    if (combinedCount >= MAX_COMBINED) {
        tessFailed = true;
        *out = vertexData[0];
        return;
    }
    double* point = combinedPoints[combinedCount++];
    point[0] = coords[0];
    point[1] = coords[1];
    point[2] = 0;
    *out = point;
}

static void GLAPIENTRY tessError(GLenum)
{
    tessFailed = true;
}

using TessCallback = void(GLAPIENTRY*)();

// Triangulates contourPoints into triangleCorners; false on a tessellator error.
static bool tessellateOutline(GLUtesselator* tess)
{
    cornerCount = 0;
    combinedCount = 0;
    tessFailed = false;
    if (contourCount == 0) {
        return true;
    }
    gluTessBeginPolygon(tess, nullptr);
    for (int contour = 0; contour < contourCount; ++contour) {
        gluTessBeginContour(tess);
        for (int i = contourStarts[contour]; i < contourStarts[contour + 1]; ++i) {
            gluTessVertex(tess, contourPoints[i], contourPoints[i]);
        }
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
    cornerCount -= cornerCount % 3;
    return !tessFailed;
}

static GLUtesselator* newGlyphTessellator()
{
    GLUtesselator* tess = gluNewTess();
    if (tess == nullptr) {
        return nullptr;
    }
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_NONZERO);
    gluTessNormal(tess, 0, 0, 1);
    gluTessCallback(tess, GLU_TESS_BEGIN, reinterpret_cast<TessCallback>(tessBegin));
    gluTessCallback(tess, GLU_TESS_END, reinterpret_cast<TessCallback>(tessEnd));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG, reinterpret_cast<TessCallback>(tessEdgeFlag));
    gluTessCallback(tess, GLU_TESS_VERTEX, reinterpret_cast<TessCallback>(tessVertex));
    gluTessCallback(tess, GLU_TESS_COMBINE, reinterpret_cast<TessCallback>(tessCombine));
    gluTessCallback(tess, GLU_TESS_ERROR, reinterpret_cast<TessCallback>(tessError));
    return tess;
}

// Loads character `code` and triangulates it into triangleCorners. False
// when the font has no glyph for the code (advance 0, no triangles).
static bool loadGlyph(FT_Face face, GLUtesselator* tess, int code, PlatGlyphMetrics* metrics)
{
    *metrics = PlatGlyphMetrics{};
    cornerCount = 0;
    const FT_UInt index = FT_Get_Char_Index(face, static_cast<FT_ULong>(code));
    if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE) != 0) {
        return false;
    }
    const FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE) {
        return false;
    }
    const FT_Glyph_Metrics& m = slot->metrics;
    metrics->blackBoxX = static_cast<float>(m.width / unitsPerEm);
    metrics->blackBoxY = static_cast<float>(m.height / unitsPerEm);
    metrics->originX = static_cast<float>(m.horiBearingX / unitsPerEm);
    metrics->originY = static_cast<float>(m.horiBearingY / unitsPerEm);
    metrics->cellIncX = static_cast<float>(slot->advance.x / unitsPerEm);
    metrics->cellIncY = 0;
    if (!readOutline(&slot->outline) || !tessellateOutline(tess)) {
        cornerCount = 0;  // a glyph that cannot be read keeps its advance only
    }
    return true;
}

// Opens the face; null when FreeType cannot read the bytes.
static FT_Face openFace(FT_Library library, const unsigned char* fontData, size_t fontSize)
{
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, fontData, static_cast<FT_Long>(fontSize), 0, &face) != 0) {
        return nullptr;
    }
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);  // Latin-1 codes are Unicode's first 256
    unitsPerEm = face->units_per_EM;
    return face;
}

// Main thread, GL context current.
bool platBuildOutlineFont(const unsigned char* fontData, size_t fontSize, int first, int count,
                          unsigned listBase, PlatGlyphMetrics* metrics)
{
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        return false;
    }
    FT_Face face = openFace(library, fontData, fontSize);
    GLUtesselator* tess = face != nullptr ? newGlyphTessellator() : nullptr;
    if (tess == nullptr) {
        if (face != nullptr) {
            FT_Done_Face(face);
        }
        FT_Done_FreeType(library);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const int code = first + i;
        loadGlyph(face, tess, code, &metrics[i]);
        glNewList(listBase + static_cast<unsigned>(code), GL_COMPILE);
        if (cornerCount > 0) {
            glBegin(GL_TRIANGLES);
            for (int corner = 0; corner < cornerCount; ++corner) {
                glVertex3f(triangleCorners[corner][0], triangleCorners[corner][1], 0);
            }
            glEnd();
        }
        if (metrics[i].cellIncX != 0) {
            glTranslatef(metrics[i].cellIncX, 0, 0);
        }
        glEndList();
    }
    gluDeleteTess(tess);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return true;
}

// Any one thread at a time (shares the glyph buffers with the font build).
int platGlyphTriangles(const unsigned char* fontData, size_t fontSize, int code, float* corners,
                       int maxTriangles, PlatGlyphMetrics* metrics)
{
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        return -1;
    }
    FT_Face face = openFace(library, fontData, fontSize);
    GLUtesselator* tess = face != nullptr ? newGlyphTessellator() : nullptr;
    int triangles = -1;
    if (tess != nullptr) {
        loadGlyph(face, tess, code, metrics);
        triangles = cornerCount / 3 <= maxTriangles ? cornerCount / 3 : maxTriangles;
        for (int corner = 0; corner < triangles * 3; ++corner) {
            corners[2 * corner] = triangleCorners[corner][0];
            corners[2 * corner + 1] = triangleCorners[corner][1];
        }
        gluDeleteTess(tess);
    }
    if (face != nullptr) {
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return triangles;
}
