// The WebGL 1 calls of the GL translation, made from JavaScript on the
// canvas the page keeps in Module.weruleCanvas. The JavaScript side keeps
// the WebGL state last set and changes only what differs; it counts the
// draw calls of each frame in Module.weruleStats.
#include "platform/web/webgl.h"

#include <emscripten.h>

#include <cstdlib>
#include <cstring>

// clang-format off
EM_JS(int, jsWebGlCreate, (), {
    var canvas = Module.weruleCanvas;
    var gl = null;
    try {
        gl = canvas && canvas.getContext("webgl", {antialias: false, depth: true, alpha: false,
                                                   stencil: false, premultipliedAlpha: false,
                                                   preserveDrawingBuffer: false});
    } catch (e) {
        gl = null;
    }
    if (!gl) {
        Module.weruleStats.glFailed = true;
        return 0;
    }
    var vs = "attribute vec4 p; attribute vec2 t; attribute vec4 c; varying vec2 vt; varying vec4 vc;" +
             "void main() { gl_Position = p; vt = t; vc = c; }";
    var fs = "precision highp float; uniform sampler2D s; uniform float u; varying vec2 vt; varying vec4 vc;" +
             "void main() { vec4 x = u > 0.5 ? texture2D(s, vt) : vec4(1.0); gl_FragColor = vc * x; }";
    function shader(type, text) {
        var s = gl.createShader(type);
        gl.shaderSource(s, text);
        gl.compileShader(s);
        return s;
    }
    var program = gl.createProgram();
    gl.attachShader(program, shader(gl.VERTEX_SHADER, vs));
    gl.attachShader(program, shader(gl.FRAGMENT_SHADER, fs));
    gl.bindAttribLocation(program, 0, "p");
    gl.bindAttribLocation(program, 1, "t");
    gl.bindAttribLocation(program, 2, "c");
    gl.linkProgram(program);
    if (!gl.getProgramParameter(program, gl.LINK_STATUS) && !gl.isContextLost()) return 0;
    gl.useProgram(program);
    var buffer = gl.createBuffer();
    gl.bindBuffer(gl.ARRAY_BUFFER, buffer);
    gl.enableVertexAttribArray(0);
    gl.enableVertexAttribArray(1);
    gl.enableVertexAttribArray(2);
    gl.vertexAttribPointer(0, 4, gl.FLOAT, false, 40, 0);
    gl.vertexAttribPointer(1, 2, gl.FLOAT, false, 40, 16);
    gl.vertexAttribPointer(2, 4, gl.FLOAT, false, 40, 24);
    gl.uniform1i(gl.getUniformLocation(program, "s"), 0);
    gl.frontFace(gl.CCW);
    gl.cullFace(gl.BACK);
    Module.weruleGl = {gl: gl, textures: {}, useTexture: gl.getUniformLocation(program, "u"),
                       state: {}, bufferSize: 0, buffer: buffer};
    return 1;
});

EM_JS(void, jsWebGlDestroy, (), {
    Module.weruleGl = null;
});

EM_JS(void, jsWebGlDraw, (const void* vertices, int count, unsigned texture, int blend,
                          unsigned source, unsigned destination, int depthTest,
                          unsigned depthFunction, int cullFace), {
    var w = Module.weruleGl;
    if (!w) return;
    var gl = w.gl, s = w.state;
    function toggle(name, cap, on) {
        if (s[name] !== on) {
            if (on) gl.enable(cap); else gl.disable(cap);
            s[name] = on;
        }
    }
    toggle("blend", gl.BLEND, !!blend);
    if (blend && (s.source !== source || s.destination !== destination)) {
        gl.blendFunc(source, destination);
        s.source = source;
        s.destination = destination;
    }
    toggle("depth", gl.DEPTH_TEST, !!depthTest);
    if (depthTest && s.depthFunction !== depthFunction) {
        gl.depthFunc(depthFunction);
        s.depthFunction = depthFunction;
    }
    toggle("cull", gl.CULL_FACE, !!cullFace);
    if (s.texture !== texture) {
        if (texture) gl.bindTexture(gl.TEXTURE_2D, w.textures[texture] || null);
        gl.uniform1f(w.useTexture, texture ? 1 : 0);
        s.texture = texture;
    }
    var bytes = HEAPU8.subarray(vertices, vertices + count * 40);
    if (bytes.length > w.bufferSize) {
        gl.bufferData(gl.ARRAY_BUFFER, bytes, gl.STREAM_DRAW);
        w.bufferSize = bytes.length;
    } else {
        gl.bufferSubData(gl.ARRAY_BUFFER, 0, bytes);
    }
    gl.drawArrays(gl.TRIANGLES, 0, count);
    Module.weruleStats.drawCalls++;
});

EM_JS(void, jsWebGlClear, (float r, float g, float b, float a, float depth, int colour,
                           int depthBits), {
    var w = Module.weruleGl;
    if (!w) return;
    var gl = w.gl;
    gl.clearColor(r, g, b, a);
    gl.clearDepth(depth);
    if (depthBits && w.state.depthMask !== true) {
        gl.depthMask(true);
        w.state.depthMask = true;
    }
    gl.clear((colour ? gl.COLOR_BUFFER_BIT : 0) | (depthBits ? gl.DEPTH_BUFFER_BIT : 0));
});

EM_JS(void, jsWebGlViewport, (int x, int y, int width, int height), {
    var w = Module.weruleGl;
    if (w) w.gl.viewport(x, y, width, height);
});

EM_JS(void, jsWebGlTexture, (unsigned name, int width, int height, const void* rgba), {
    var w = Module.weruleGl;
    if (!w) return;
    var gl = w.gl;
    var texture = w.textures[name];
    if (!texture) {
        texture = gl.createTexture();
        w.textures[name] = texture;
    }
    gl.bindTexture(gl.TEXTURE_2D, texture);
    w.state.texture = undefined;
    gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, width, height, 0, gl.RGBA, gl.UNSIGNED_BYTE,
                  HEAPU8.subarray(rgba, rgba + width * height * 4));
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.LINEAR);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.LINEAR);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.REPEAT);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.REPEAT);
});
// clang-format on

bool webGlCreate()
{
    webGlReset();
    return jsWebGlCreate() != 0;
}

void webGlDestroy()
{
    webGlReset();
    jsWebGlDestroy();
}

void webGlDraw(const WebGlVertex* vertices, int count, unsigned texture, bool blend,
               unsigned blendSource, unsigned blendDestination, bool depthTest,
               unsigned depthFunction, bool cullFace)
{
    jsWebGlDraw(vertices, count, texture, blend, blendSource, blendDestination, depthTest,
                depthFunction, cullFace);
}

void webGlClear(const float* colour, float depth, bool clearColour, bool clearDepth)
{
    jsWebGlClear(colour[0], colour[1], colour[2], colour[3], depth, clearColour, clearDepth);
}

void webGlViewport(int x, int y, int width, int height)
{
    jsWebGlViewport(x, y, width, height);
}

void webGlTexture(unsigned name, int width, int height, const unsigned char* rgba, bool opaque)
{
    if (!opaque) {
        jsWebGlTexture(name, width, height, rgba);
        return;
    }
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    unsigned char* copy = static_cast<unsigned char*>(malloc(bytes));
    if (copy == nullptr) {
        return;
    }
    memcpy(copy, rgba, bytes);
    for (size_t i = 3; i < bytes; i += 4) {
        copy[i] = 255;
    }
    jsWebGlTexture(name, width, height, copy);
    free(copy);
}
