// OpenGL 1.1, the part of it the show calls, translated onto WebGL 1.
//
// Every vertex is transformed here, on the CPU: the modelview and
// projection matrices take it to clip space, sphere-map generation and the
// texture matrix make its texture coordinates, and the current colour goes
// with it. Finished triangles gather in one buffer as long as the state a
// draw depends on stays the same (texture, blending, depth test, culling);
// only a real change of that state, a clear, a viewport change or the end
// of the frame hands the batch to WebGL as one draw call. So the 3000 star
// quads, each with its own matrix, are one draw, and a whole frame a few
// dozen. Display lists record the calls made between glNewList and
// glEndList and replay them through the same functions.
//
// GL_POLYGON_SMOOTH has no WebGL counterpart and is ignored here, as Mesa
// leaves its edges hard too (see webgl.h).
//
// Main thread only, like the GL context it stands for.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>

#include <cmath>
#include <cstring>

#include "platform/web/webgl.h"

namespace {

struct Matrix {
    float m[16];  // column-major, as GL keeps it
};

// What one draw call depends on besides its vertices.
struct DrawState {
    unsigned texture;  // 0: untextured
    bool blend;
    GLenum blendSource, blendDestination;
    bool depthTest;
    GLenum depthFunction;
    bool cullFace;
};

// The state glPushAttrib saves, by group.
struct Attributes {
    GLbitfield mask;
    GLuint listBase;
    bool blend, depthTest, cullFace, texture2D, textureGenS, textureGenT;
    GLenum blendSource, blendDestination, depthFunction;
    float colour[4], texCoord[4], normal[3];
    GLuint boundTexture;
    GLenum matrixMode;
    int viewport[4];
    float clearColour[4];
    float clearDepth;
};

// One recorded call of a display list.
enum ListOp : unsigned char { OP_BEGIN, OP_END, OP_VERTEX, OP_TRANSLATE, OP_COLOUR, OP_NORMAL };
struct ListEntry {
    ListOp op;
    float v[4];
};

}  // namespace

enum {
    STACK_DEPTH = 32,
    TEXTURE_NAMES = 64,
    LIST_COUNT = 1024,
    LIST_ENTRIES = 1 << 16,  // the glyphs take about 37,000
    ATTRIBUTE_DEPTH = 16,
};

// ------------------------------------------------------------------ state
// Main thread only. Reset whenever a context is made (webGlReset).
static Matrix matrixStack[3][STACK_DEPTH];  // modelview, projection, texture
static int matrixTop[3];
static int matrixIndex;  // 0, 1 or 2: the mode's stack
static GLenum matrixMode = GL_MODELVIEW;

static bool blendOn, depthTestOn, cullFaceOn, texture2DOn, textureGenSOn, textureGenTOn;
static GLenum blendSource = GL_ONE, blendDestination = GL_ZERO, depthFunction = GL_LESS;
static float clearColour[4];
static float clearDepth = 1;
static int viewport[4];

static float currentColour[4] = {1, 1, 1, 1};
static float currentTexCoord[4] = {0, 0, 0, 1};
static float currentNormal[3] = {0, 0, 1};

static GLuint boundTexture;
static bool textureHasImage[TEXTURE_NAMES];

// Between glBegin and glEnd: the primitive, its corners so far, and the
// matrices of the whole primitive (they cannot change inside it).
static GLenum primitive;
static bool insidePrimitive;
static int cornersTaken;
static WebGlVertex corners[4];
static Matrix primitiveMvp, primitiveModelview, primitiveTexture;
static float primitiveNormalMatrix[9];
static bool primitiveTexGen, primitiveTextureMatrix;

// The batch: vertices that share drawState.
static WebGlVertex batch[WEBGL_BATCH_VERTICES];
static int batchCount;
static DrawState batchState;

// Display lists: entries of list n are listStart[n] .. listStart[n] + listLength[n].
static ListEntry listEntries[LIST_ENTRIES];
static int listEntryCount;
static int listStart[LIST_COUNT], listLength[LIST_COUNT];
static GLuint nextList = 1;
static GLuint listBeingMade;  // 0 when none
static GLuint listBase;

static Attributes attributeStack[ATTRIBUTE_DEPTH];
static int attributeTop;

// ---------------------------------------------------------------- matrices
static Matrix identity()
{
    Matrix matrix = {};
    matrix.m[0] = matrix.m[5] = matrix.m[10] = matrix.m[15] = 1;
    return matrix;
}

// a * b, both column-major.
static Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix result;
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += a.m[k * 4 + row] * b.m[column * 4 + k];
            }
            result.m[column * 4 + row] = sum;
        }
    }
    return result;
}

static Matrix& currentMatrix()
{
    return matrixStack[matrixIndex][matrixTop[matrixIndex]];
}

static void multiplyCurrent(const Matrix& by)
{
    Matrix& top = currentMatrix();
    top = multiply(top, by);
}

// ------------------------------------------------------------------ batches
static DrawState currentDrawState()
{
    DrawState state;
    state.texture = texture2DOn && boundTexture < TEXTURE_NAMES && textureHasImage[boundTexture]
                        ? boundTexture
                        : 0;
    state.blend = blendOn;
    state.blendSource = blendSource;
    state.blendDestination = blendDestination;
    state.depthTest = depthTestOn;
    state.depthFunction = depthFunction;
    state.cullFace = cullFaceOn;
    return state;
}

static bool sameDrawState(const DrawState& a, const DrawState& b)
{
    return a.texture == b.texture && a.blend == b.blend && a.blendSource == b.blendSource &&
           a.blendDestination == b.blendDestination && a.depthTest == b.depthTest &&
           a.depthFunction == b.depthFunction && a.cullFace == b.cullFace;
}

void webGlFlush()
{
    if (batchCount == 0) {
        return;
    }
    webGlDraw(batch, batchCount, batchState.texture, batchState.blend, batchState.blendSource,
              batchState.blendDestination, batchState.depthTest, batchState.depthFunction,
              batchState.cullFace);
    batchCount = 0;
}

// Adds one triangle that lies on the visible side of the near plane.
static void emitClippedTriangle(const WebGlVertex& a, const WebGlVertex& b, const WebGlVertex& c)
{
    const DrawState state = currentDrawState();
    if (batchCount > 0 && !sameDrawState(state, batchState)) {
        webGlFlush();
    }
    if (batchCount + 3 > WEBGL_BATCH_VERTICES) {
        webGlFlush();
    }
    batchState = state;
    batch[batchCount++] = a;
    batch[batchCount++] = b;
    batch[batchCount++] = c;
}

// How far a vertex lies on the visible side of the near plane (z = -w).
static float nearDistance(const WebGlVertex& v)
{
    return v.clip[2] + v.clip[3];
}

// The point where the edge from a to b meets the near plane, every
// attribute interpolated linearly in clip space, as GL's clipper does.
static WebGlVertex nearCrossing(const WebGlVertex& a, const WebGlVertex& b)
{
    const float da = nearDistance(a);
    const float t = da / (da - nearDistance(b));
    WebGlVertex v;
    for (int i = 0; i < 4; ++i) {
        v.clip[i] = a.clip[i] + t * (b.clip[i] - a.clip[i]);
        v.colour[i] = a.colour[i] + t * (b.colour[i] - a.colour[i]);
    }
    for (int i = 0; i < 2; ++i) {
        v.texCoord[i] = a.texCoord[i] + t * (b.texCoord[i] - a.texCoord[i]);
    }
    return v;
}

// Adds one triangle in the current state, cut at the near plane here: a
// corner at or behind the eye (w of 0 or less) is not left to the
// browser's clipper, which SwiftShader gets wrong for such corners (the
// floor, whose near edge lies in the eye's plane, lost its texture).
static void emitTriangle(const WebGlVertex& a, const WebGlVertex& b, const WebGlVertex& c)
{
    const WebGlVertex* in[3] = {&a, &b, &c};
    int inside = 0;
    for (const WebGlVertex* v : in) {
        inside += nearDistance(*v) >= 0 ? 1 : 0;
    }
    if (inside == 3) {
        emitClippedTriangle(a, b, c);
        return;
    }
    if (inside == 0) {
        return;
    }
    // Sutherland-Hodgman against the one plane: at most four corners.
    WebGlVertex out[4];
    int count = 0;
    for (int i = 0; i < 3; ++i) {
        const WebGlVertex& from = *in[i];
        const WebGlVertex& to = *in[(i + 1) % 3];
        const bool fromInside = nearDistance(from) >= 0;
        const bool toInside = nearDistance(to) >= 0;
        if (fromInside) {
            out[count++] = from;
        }
        if (fromInside != toInside) {
            out[count++] = nearCrossing(from, to);
        }
    }
    for (int i = 1; i + 1 < count; ++i) {
        emitClippedTriangle(out[0], out[i], out[i + 1]);
    }
}

// ------------------------------------------------------------------- reset
void webGlReset()
{
    for (int stack = 0; stack < 3; ++stack) {
        matrixTop[stack] = 0;
        matrixStack[stack][0] = identity();
    }
    matrixIndex = 0;
    matrixMode = GL_MODELVIEW;
    blendOn = depthTestOn = cullFaceOn = texture2DOn = textureGenSOn = textureGenTOn = false;
    blendSource = GL_ONE;
    blendDestination = GL_ZERO;
    depthFunction = GL_LESS;
    for (float& c : clearColour) {
        c = 0;
    }
    clearDepth = 1;
    for (int& v : viewport) {
        v = 0;
    }
    const float white[4] = {1, 1, 1, 1};
    memcpy(currentColour, white, sizeof currentColour);
    const float origin[4] = {0, 0, 0, 1};
    memcpy(currentTexCoord, origin, sizeof currentTexCoord);
    currentNormal[0] = currentNormal[1] = 0;
    currentNormal[2] = 1;
    boundTexture = 0;
    memset(textureHasImage, 0, sizeof textureHasImage);
    insidePrimitive = false;
    batchCount = 0;
    listEntryCount = 0;
    memset(listStart, 0, sizeof listStart);
    memset(listLength, 0, sizeof listLength);
    nextList = 1;
    listBeingMade = 0;
    listBase = 0;
    attributeTop = 0;
}

// Appends a call to the list being made; false when none is being made.
static bool record(ListOp op, float a = 0, float b = 0, float c = 0, float d = 0)
{
    if (listBeingMade == 0) {
        return false;
    }
    if (listEntryCount < LIST_ENTRIES) {
        listEntries[listEntryCount++] = ListEntry{op, {a, b, c, d}};
        ++listLength[listBeingMade];
    }
    return true;
}

extern "C" {

// ------------------------------------------------------------ matrix calls
void glMatrixMode(GLenum mode)
{
    matrixMode = mode;
    matrixIndex = mode == GL_PROJECTION ? 1 : mode == GL_TEXTURE ? 2 : 0;
}

void glLoadIdentity()
{
    currentMatrix() = identity();
}

void glPushMatrix()
{
    if (matrixTop[matrixIndex] + 1 < STACK_DEPTH) {
        matrixStack[matrixIndex][matrixTop[matrixIndex] + 1] = currentMatrix();
        ++matrixTop[matrixIndex];
    }
}

void glPopMatrix()
{
    if (matrixTop[matrixIndex] > 0) {
        --matrixTop[matrixIndex];
    }
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    if (record(OP_TRANSLATE, x, y, z)) {
        return;
    }
    // Only the last column changes: m[12..15] += x col0 + y col1 + z col2.
    Matrix& top = currentMatrix();
    for (int row = 0; row < 4; ++row) {
        top.m[12 + row] += top.m[row] * x + top.m[4 + row] * y + top.m[8 + row] * z;
    }
}

void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0) {
        return;
    }
    x /= length;
    y /= length;
    z /= length;
    const double radians = angle * 3.14159265358979323846 / 180.0;
    const float c = static_cast<float>(std::cos(radians));
    const float s = static_cast<float>(std::sin(radians));
    const float t = 1 - c;
    Matrix rotation = identity();
    rotation.m[0] = x * x * t + c;
    rotation.m[1] = y * x * t + z * s;
    rotation.m[2] = x * z * t - y * s;
    rotation.m[4] = x * y * t - z * s;
    rotation.m[5] = y * y * t + c;
    rotation.m[6] = y * z * t + x * s;
    rotation.m[8] = x * z * t + y * s;
    rotation.m[9] = y * z * t - x * s;
    rotation.m[10] = z * z * t + c;
    multiplyCurrent(rotation);
}

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    const double radians = fovy / 2 * 3.14159265358979323846 / 180.0;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0) {
        return;
    }
    const double cotangent = std::cos(radians) / sine;
    Matrix perspective = identity();
    perspective.m[0] = static_cast<float>(cotangent / aspect);
    perspective.m[5] = static_cast<float>(cotangent);
    perspective.m[10] = static_cast<float>(-(zFar + zNear) / deltaZ);
    perspective.m[11] = -1;
    perspective.m[14] = static_cast<float>(-2 * zNear * zFar / deltaZ);
    perspective.m[15] = 0;
    multiplyCurrent(perspective);
}

void glGetFloatv(GLenum name, GLfloat* values)
{
    int stack = name == GL_PROJECTION_MATRIX ? 1 : name == GL_TEXTURE_MATRIX ? 2 : 0;
    if (name == GL_MODELVIEW_MATRIX || name == GL_PROJECTION_MATRIX || name == GL_TEXTURE_MATRIX) {
        memcpy(values, matrixStack[stack][matrixTop[stack]].m, sizeof(Matrix));
    } else if (name == GL_CURRENT_COLOR) {
        memcpy(values, currentColour, sizeof currentColour);
    } else if (name == GL_COLOR_CLEAR_VALUE) {
        memcpy(values, clearColour, sizeof clearColour);
    }
}

// ------------------------------------------------------------- state calls
static bool* capability(GLenum cap)
{
    switch (cap) {
    case GL_BLEND: return &blendOn;
    case GL_DEPTH_TEST: return &depthTestOn;
    case GL_CULL_FACE: return &cullFaceOn;
    case GL_TEXTURE_2D: return &texture2DOn;
    case GL_TEXTURE_GEN_S: return &textureGenSOn;
    case GL_TEXTURE_GEN_T: return &textureGenTOn;
    default: return nullptr;  // lighting, colour material, polygon smoothing: nothing to do
    }
}

void glEnable(GLenum cap)
{
    if (bool* flag = capability(cap)) {
        *flag = true;
    }
}

void glDisable(GLenum cap)
{
    if (bool* flag = capability(cap)) {
        *flag = false;
    }
}

void glBlendFunc(GLenum source, GLenum destination)
{
    blendSource = source;
    blendDestination = destination;
}

void glDepthFunc(GLenum function)
{
    depthFunction = function;
}

void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha)
{
    const float colour[4] = {red, green, blue, alpha};
    for (int i = 0; i < 4; ++i) {
        clearColour[i] = colour[i] < 0 ? 0 : colour[i] > 1 ? 1 : colour[i];
    }
}

void glClearDepth(GLclampd depth)
{
    clearDepth = depth < 0 ? 0.0f : depth > 1 ? 1.0f : static_cast<float>(depth);
}

void glClear(GLbitfield mask)
{
    webGlFlush();
    webGlClear(clearColour, clearDepth, (mask & GL_COLOR_BUFFER_BIT) != 0,
               (mask & GL_DEPTH_BUFFER_BIT) != 0);
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    webGlFlush();
    viewport[0] = x;
    viewport[1] = y;
    viewport[2] = width;
    viewport[3] = height;
    webGlViewport(x, y, width, height);
}

// Accepted and without effect here: the fixed pipeline's lighting is never
// on, and WebGL fills every polygon and shades smoothly.
void glShadeModel(GLenum)
{}
void glHint(GLenum, GLenum)
{}
void glColorMaterial(GLenum, GLenum)
{}
void glMateriali(GLenum, GLenum, GLint)
{}
void glPolygonMode(GLenum, GLenum)
{}
void glPixelStorei(GLenum, GLint)
{}
void glTexParameteri(GLenum, GLenum, GLint)
{}
// The modulate environment is the only one the show uses, and the only one
// the shader applies.
void glTexEnvf(GLenum, GLenum, GLfloat)
{}
// Sphere mapping is the only generation mode the show uses.
void glTexGeni(GLenum, GLenum, GLint)
{}

// ------------------------------------------------------------------ textures
void glBindTexture(GLenum, GLuint texture)
{
    boundTexture = texture;
}

void glTexImage2D(GLenum, GLint level, GLint internalFormat, GLsizei width, GLsizei height, GLint,
                  GLenum format, GLenum, const GLvoid* pixels)
{
    if (level != 0 || boundTexture == 0 || boundTexture >= TEXTURE_NAMES || format != GL_RGBA ||
        pixels == nullptr) {
        return;
    }
    webGlFlush();
    // An RGB internal format keeps no alpha: the texture reads as opaque.
    const bool opaque = internalFormat == GL_RGB || internalFormat == 3;
    webGlTexture(boundTexture, width, height, static_cast<const unsigned char*>(pixels), opaque);
    textureHasImage[boundTexture] = true;
}

// ------------------------------------------------------------ current values
void glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    if (record(OP_COLOUR, red, green, blue, alpha)) {
        return;
    }
    currentColour[0] = red;
    currentColour[1] = green;
    currentColour[2] = blue;
    currentColour[3] = alpha;
}

void glColor4ub(GLubyte red, GLubyte green, GLubyte blue, GLubyte alpha)
{
    glColor4f(red / 255.0f, green / 255.0f, blue / 255.0f, alpha / 255.0f);
}

void glTexCoord2f(GLfloat s, GLfloat t)
{
    currentTexCoord[0] = s;
    currentTexCoord[1] = t;
    currentTexCoord[2] = 0;
    currentTexCoord[3] = 1;
}

void glMultiTexCoord3fvARB(GLenum unit, const GLfloat* coords)
{
    // Only the first unit has a texture; the others' coordinates go nowhere.
    if (unit == GL_TEXTURE0_ARB) {
        currentTexCoord[0] = coords[0];
        currentTexCoord[1] = coords[1];
        currentTexCoord[2] = coords[2];
        currentTexCoord[3] = 1;
    }
}

void glNormal3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (record(OP_NORMAL, x, y, z)) {
        return;
    }
    currentNormal[0] = x;
    currentNormal[1] = y;
    currentNormal[2] = z;
}

void glNormal3fv(const GLfloat* v)
{
    glNormal3f(v[0], v[1], v[2]);
}

// ---------------------------------------------------------------- primitives
void glBegin(GLenum mode)
{
    if (record(OP_BEGIN, static_cast<float>(mode))) {
        return;
    }
    primitive = mode;
    insidePrimitive = true;
    cornersTaken = 0;
    primitiveModelview = matrixStack[0][matrixTop[0]];
    primitiveMvp = multiply(matrixStack[1][matrixTop[1]], primitiveModelview);
    primitiveTexture = matrixStack[2][matrixTop[2]];
    const Matrix unit = identity();
    primitiveTextureMatrix = memcmp(&primitiveTexture, &unit, sizeof unit) != 0;
    primitiveTexGen = textureGenSOn || textureGenTOn;
    if (primitiveTexGen) {
        // Normals go to eye space by the inverse transpose of the
        // modelview's upper 3 by 3: its cofactors over its determinant.
        const float* m = primitiveModelview.m;
        const float a = m[0], b = m[4], c = m[8], d = m[1], e = m[5], f = m[9], g = m[2], h = m[6],
                    i = m[10];
        const float cofactor[9] = {e * i - f * h,    -(d * i - f * g), d * h - e * g,
                                   -(b * i - c * h), a * i - c * g,    -(a * h - b * g),
                                   b * f - c * e,    -(a * f - c * d), a * e - b * d};
        const float determinant = a * cofactor[0] + b * cofactor[1] + c * cofactor[2];
        const float scale = determinant != 0 ? 1 / determinant : 0;
        for (int k = 0; k < 9; ++k) {
            primitiveNormalMatrix[k] = cofactor[k] * scale;  // row-major: row r = k / 3
        }
    }
}

// The texture coordinates of a vertex at eye-space position eye.
static void vertexTexCoord(const float* eye, float* st)
{
    float s = currentTexCoord[0];
    float t = currentTexCoord[1];
    if (primitiveTexGen) {
        const float* nm = primitiveNormalMatrix;
        float n[3];
        for (int r = 0; r < 3; ++r) {
            n[r] = nm[3 * r] * currentNormal[0] + nm[3 * r + 1] * currentNormal[1] +
                   nm[3 * r + 2] * currentNormal[2];
        }
        float u[3] = {eye[0], eye[1], eye[2]};
        const float length = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
        if (length != 0) {
            u[0] /= length;
            u[1] /= length;
            u[2] /= length;
        }
        const float dot = n[0] * u[0] + n[1] * u[1] + n[2] * u[2];
        const float r[3] = {u[0] - 2 * n[0] * dot, u[1] - 2 * n[1] * dot, u[2] - 2 * n[2] * dot};
        const float m = 2 * std::sqrt(r[0] * r[0] + r[1] * r[1] + (r[2] + 1) * (r[2] + 1));
        if (m != 0) {
            if (textureGenSOn) {
                s = r[0] / m + 0.5f;
            }
            if (textureGenTOn) {
                t = r[1] / m + 0.5f;
            }
        }
    }
    if (primitiveTextureMatrix) {
        const float* tm = primitiveTexture.m;
        const float in[4] = {s, t, currentTexCoord[2], currentTexCoord[3]};
        float out[4];
        for (int row = 0; row < 4; ++row) {
            out[row] =
                tm[row] * in[0] + tm[4 + row] * in[1] + tm[8 + row] * in[2] + tm[12 + row] * in[3];
        }
        const float q = out[3] != 0 ? out[3] : 1;
        s = out[0] / q;
        t = out[1] / q;
    }
    st[0] = s;
    st[1] = t;
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    if (record(OP_VERTEX, x, y, z)) {
        return;
    }
    if (!insidePrimitive) {
        return;
    }
    WebGlVertex& vertex = corners[cornersTaken];
    const float* mvp = primitiveMvp.m;
    for (int row = 0; row < 4; ++row) {
        vertex.clip[row] = mvp[row] * x + mvp[4 + row] * y + mvp[8 + row] * z + mvp[12 + row];
    }
    const float* mv = primitiveModelview.m;
    float eye[3];
    for (int row = 0; row < 3; ++row) {
        eye[row] = mv[row] * x + mv[4 + row] * y + mv[8 + row] * z + mv[12 + row];
    }
    vertexTexCoord(eye, vertex.texCoord);
    for (int i = 0; i < 4; ++i) {
        const float c = currentColour[i];
        vertex.colour[i] = c < 0 ? 0 : c > 1 ? 1 : c;
    }
    ++cornersTaken;
    if (primitive == GL_TRIANGLES && cornersTaken == 3) {
        emitTriangle(corners[0], corners[1], corners[2]);
        cornersTaken = 0;
    } else if (primitive == GL_QUADS && cornersTaken == 4) {
        emitTriangle(corners[0], corners[1], corners[2]);
        emitTriangle(corners[0], corners[2], corners[3]);
        cornersTaken = 0;
    } else if (cornersTaken == 4) {
        cornersTaken = 0;  // a primitive the show never draws
    }
}

void glVertex3fv(const GLfloat* v)
{
    glVertex3f(v[0], v[1], v[2]);
}

void glEnd()
{
    if (record(OP_END)) {
        return;
    }
    insidePrimitive = false;
}

// ------------------------------------------------------------ display lists
GLuint glGenLists(GLsizei range)
{
    if (range <= 0 || nextList + static_cast<GLuint>(range) > LIST_COUNT) {
        return 0;
    }
    const GLuint first = nextList;
    nextList += static_cast<GLuint>(range);
    return first;
}

void glNewList(GLuint list, GLenum)
{
    if (list == 0 || list >= LIST_COUNT || listBeingMade != 0) {
        return;
    }
    listBeingMade = list;
    listStart[list] = listEntryCount;
    listLength[list] = 0;
}

void glEndList()
{
    listBeingMade = 0;
}

void glListBase(GLuint base)
{
    listBase = base;
}

static void callList(GLuint list)
{
    if (list == 0 || list >= LIST_COUNT) {
        return;
    }
    const ListEntry* entry = listEntries + listStart[list];
    const ListEntry* end = entry + listLength[list];
    for (; entry < end; ++entry) {
        const float* v = entry->v;
        switch (entry->op) {
        case OP_BEGIN: glBegin(static_cast<GLenum>(v[0])); break;
        case OP_END: glEnd(); break;
        case OP_VERTEX: glVertex3f(v[0], v[1], v[2]); break;
        case OP_TRANSLATE: glTranslatef(v[0], v[1], v[2]); break;
        case OP_COLOUR: glColor4f(v[0], v[1], v[2], v[3]); break;
        case OP_NORMAL: glNormal3f(v[0], v[1], v[2]); break;
        }
    }
}

void glCallList(GLuint list)
{
    callList(list);
}

void glCallLists(GLsizei n, GLenum type, const GLvoid* lists)
{
    for (GLsizei i = 0; i < n; ++i) {
        GLuint offset = 0;
        if (type == GL_UNSIGNED_INT) {
            offset = static_cast<const GLuint*>(lists)[i];
        } else if (type == GL_UNSIGNED_BYTE) {
            offset = static_cast<const GLubyte*>(lists)[i];
        } else {
            return;
        }
        callList(listBase + offset);
    }
}

// ------------------------------------------------------------ attribute stack
void glPushAttrib(GLbitfield mask)
{
    if (attributeTop >= ATTRIBUTE_DEPTH) {
        return;
    }
    Attributes& saved = attributeStack[attributeTop++];
    saved.mask = mask;
    saved.listBase = listBase;
    saved.blend = blendOn;
    saved.depthTest = depthTestOn;
    saved.cullFace = cullFaceOn;
    saved.texture2D = texture2DOn;
    saved.textureGenS = textureGenSOn;
    saved.textureGenT = textureGenTOn;
    saved.blendSource = blendSource;
    saved.blendDestination = blendDestination;
    saved.depthFunction = depthFunction;
    memcpy(saved.colour, currentColour, sizeof saved.colour);
    memcpy(saved.texCoord, currentTexCoord, sizeof saved.texCoord);
    memcpy(saved.normal, currentNormal, sizeof saved.normal);
    saved.boundTexture = boundTexture;
    saved.matrixMode = matrixMode;
    memcpy(saved.viewport, viewport, sizeof saved.viewport);
    memcpy(saved.clearColour, clearColour, sizeof saved.clearColour);
    saved.clearDepth = clearDepth;
}

void glPopAttrib()
{
    if (attributeTop == 0) {
        return;
    }
    const Attributes& saved = attributeStack[--attributeTop];
    const GLbitfield mask = saved.mask;
    if (mask & GL_LIST_BIT) {
        listBase = saved.listBase;
    }
    if (mask & (GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT)) {
        blendOn = saved.blend;
    }
    if (mask & (GL_ENABLE_BIT | GL_DEPTH_BUFFER_BIT)) {
        depthTestOn = saved.depthTest;
    }
    if (mask & (GL_ENABLE_BIT | GL_POLYGON_BIT)) {
        cullFaceOn = saved.cullFace;
    }
    if (mask & (GL_ENABLE_BIT | GL_TEXTURE_BIT)) {
        texture2DOn = saved.texture2D;
        textureGenSOn = saved.textureGenS;
        textureGenTOn = saved.textureGenT;
    }
    if (mask & GL_COLOR_BUFFER_BIT) {
        blendSource = saved.blendSource;
        blendDestination = saved.blendDestination;
        memcpy(clearColour, saved.clearColour, sizeof clearColour);
    }
    if (mask & GL_DEPTH_BUFFER_BIT) {
        depthFunction = saved.depthFunction;
        clearDepth = saved.clearDepth;
    }
    if (mask & GL_CURRENT_BIT) {
        memcpy(currentColour, saved.colour, sizeof currentColour);
        memcpy(currentTexCoord, saved.texCoord, sizeof currentTexCoord);
        memcpy(currentNormal, saved.normal, sizeof currentNormal);
    }
    if (mask & GL_TEXTURE_BIT) {
        boundTexture = saved.boundTexture;
    }
    if (mask & GL_TRANSFORM_BIT) {
        glMatrixMode(saved.matrixMode);
    }
    if (mask & GL_VIEWPORT_BIT) {
        glViewport(saved.viewport[0], saved.viewport[1], saved.viewport[2], saved.viewport[3]);
    }
}

}  // extern "C"
