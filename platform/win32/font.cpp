// The outline font from the system: a bold Arial selected into the window's
// device context and turned into glyph display lists by wglUseFontOutlinesA.
// No font file is read; the font bytes platform.h passes are not used here.
#include <cstddef>

#include "platform/win32/display.h"

// WGL fills its own metrics records; ours have the same six floats in the
// same order, so the array is filled in place.
static_assert(sizeof(PlatGlyphMetrics) == sizeof(GLYPHMETRICSFLOAT));
static_assert(offsetof(PlatGlyphMetrics, blackBoxX) == offsetof(GLYPHMETRICSFLOAT, gmfBlackBoxX));
static_assert(offsetof(PlatGlyphMetrics, blackBoxY) == offsetof(GLYPHMETRICSFLOAT, gmfBlackBoxY));
static_assert(offsetof(PlatGlyphMetrics, originX) == offsetof(GLYPHMETRICSFLOAT, gmfptGlyphOrigin));
static_assert(offsetof(PlatGlyphMetrics, cellIncX) == offsetof(GLYPHMETRICSFLOAT, gmfCellIncX));
static_assert(offsetof(PlatGlyphMetrics, cellIncY) == offsetof(GLYPHMETRICSFLOAT, gmfCellIncY));

// Main thread, GL context current. The font stays selected for the life of
// the process and is never deleted.
bool platBuildOutlineFont(const unsigned char*, size_t, int first, int count, unsigned listBase,
                          PlatGlyphMetrics* metrics)
{
    HDC deviceContext = displayDeviceContext();
    HFONT font =
        CreateFontA(0, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_TT_ONLY_PRECIS,
                    CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, FF_SCRIPT | DEFAULT_PITCH, "Arial");
    SelectObject(deviceContext, font);
    return wglUseFontOutlinesA(deviceContext, static_cast<DWORD>(first), static_cast<DWORD>(count),
                               listBase, 0.0f, 0.0f, WGL_FONT_POLYGONS,
                               reinterpret_cast<GLYPHMETRICSFLOAT*>(metrics)) != FALSE;
}
