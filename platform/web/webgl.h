// The WebGL 1 end of the GL translation (gl.cpp): the page's canvas, one
// shader pair for every draw, a streamed vertex buffer. Main thread only.
#pragma once

#include <cstdint>

// One vertex as gl.cpp hands it over: already in clip space, with its final
// texture coordinates and colour.
struct WebGlVertex {
    float clip[4];
    float texCoord[2];
    float colour[4];
};

enum { WEBGL_BATCH_VERTICES = 1 << 16 };

// Makes the WebGL context of the page's canvas (not multisampled, with a
// depth buffer, no alpha) and the GL state's defaults; false when the
// browser gives none. No multisampling: Mesa draws GL_POLYGON_SMOOTH's
// edges hard, so the page's frame is nearer Linux's without it, and on a
// software renderer it costs a third of the frame rate.
bool webGlCreate();
// Drops the context's objects and forgets the canvas.
void webGlDestroy();
// gl.cpp: every GL 1.1 value back to its default, lists and textures gone.
void webGlReset();
// gl.cpp: hands the gathered triangles to WebGL (end of a frame).
void webGlFlush();

// The calls gl.cpp makes of WebGL.
void webGlDraw(const WebGlVertex* vertices, int count, unsigned texture, bool blend,
               unsigned blendSource, unsigned blendDestination, bool depthTest,
               unsigned depthFunction, bool cullFace);
void webGlClear(const float* colour, float depth, bool clearColour, bool clearDepth);
void webGlViewport(int x, int y, int width, int height);
void webGlTexture(unsigned name, int width, int height, const unsigned char* rgba, bool opaque);
