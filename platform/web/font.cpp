// The outline font of platform.h in the page: the glyph triangles that the
// Linux layer (FreeType and the GLU tessellator over the embedded font)
// made at build time, so the page draws exactly the triangles Linux draws.
// The font bytes are not read here.
#include "platform/platform.h"

#include <GL/gl.h>

#include "platform/web/webdata.h"

bool platBuildOutlineFont(const unsigned char*, size_t, int first, int count, unsigned listBase,
                          PlatGlyphMetrics* metrics)
{
    if (first < 0 || count < 0 || first + count > 256) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const int code = first + i;
        metrics[i] = webGlyphMetrics[code];
        const int from = webGlyphFirstCorner[code];
        const int to = webGlyphFirstCorner[code + 1];
        glNewList(listBase + static_cast<unsigned>(code), GL_COMPILE);
        if (to > from) {
            glBegin(GL_TRIANGLES);
            for (int corner = from; corner < to; ++corner) {
                glVertex3f(webGlyphCorners[2 * corner], webGlyphCorners[2 * corner + 1], 0);
            }
            glEnd();
        }
        if (metrics[i].cellIncX != 0) {
            glTranslatef(metrics[i].cellIncX, 0, 0);
        }
        glEndList();
    }
    return true;
}
