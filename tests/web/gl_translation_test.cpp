// The page's GL 1.1 translation (platform/web/gl.cpp, run natively over a
// recording fake of its WebGL end) against Mesa on small scenes of what the
// intro uses: Mesa's transformed vertices come from its feedback mode
// (window position, colour and texture coordinates of every vertex it
// would draw), the translation's from the triangles it hands to WebGL.
// Mesa is reached only through EGL's lookup, so its gl* functions do not
// clash with the translation's, which this program links.
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "tests/web/recording_webgl.h"

namespace {

// The calls the scenes make, bound either to the translation or to Mesa.
struct Api {
    void (*Begin)(GLenum);
    void (*End)();
    void (*Vertex3f)(GLfloat, GLfloat, GLfloat);
    void (*Color4f)(GLfloat, GLfloat, GLfloat, GLfloat);
    void (*Color4ub)(GLubyte, GLubyte, GLubyte, GLubyte);
    void (*TexCoord2f)(GLfloat, GLfloat);
    void (*Normal3f)(GLfloat, GLfloat, GLfloat);
    void (*MultiTexCoord3fvARB)(GLenum, const GLfloat*);
    void (*MatrixMode)(GLenum);
    void (*LoadIdentity)();
    void (*PushMatrix)();
    void (*PopMatrix)();
    void (*Translatef)(GLfloat, GLfloat, GLfloat);
    void (*Rotatef)(GLfloat, GLfloat, GLfloat, GLfloat);
    void (*Enable)(GLenum);
    void (*Disable)(GLenum);
    void (*TexGeni)(GLenum, GLenum, GLint);
    void (*Viewport)(GLint, GLint, GLsizei, GLsizei);
    GLuint (*GenLists)(GLsizei);
    void (*NewList)(GLuint, GLenum);
    void (*EndList)();
    void (*ListBase)(GLuint);
    void (*CallLists)(GLsizei, GLenum, const GLvoid*);
    void (*PushAttrib)(GLbitfield);
    void (*PopAttrib)();
    void (*BindTexture)(GLenum, GLuint);
    void (*TexParameteri)(GLenum, GLenum, GLint);
    void (*TexImage2D)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum,
                       const GLvoid*);
};

// One vertex as drawn: window x, y, z; colour; texture s, t.
struct Drawn {
    float v[9];
};

const int SIZE = 100;  // the viewport, pixels

Api translation()
{
    return Api{glBegin,      glEnd,          glVertex3f,      glColor4f,
               glColor4ub,   glTexCoord2f,   glNormal3f,      glMultiTexCoord3fvARB,
               glMatrixMode, glLoadIdentity, glPushMatrix,    glPopMatrix,
               glTranslatef, glRotatef,      glEnable,        glDisable,
               glTexGeni,    glViewport,     glGenLists,      glNewList,
               glEndList,    glListBase,     glCallLists,     glPushAttrib,
               glPopAttrib,  glBindTexture,  glTexParameteri, glTexImage2D};
}

template <typename F>
void bind(F*& slot, const char* name)
{
    slot = reinterpret_cast<F*>(eglGetProcAddress(name));
}

// ------------------------------------------------------------------ Mesa
EGLDisplay display = EGL_NO_DISPLAY;
Api mesa;
void (*mesaFeedbackBuffer)(GLsizei, GLenum, GLfloat*);
GLint (*mesaRenderMode)(GLenum);

bool openMesa()
{
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) {
        return false;
    }
    display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr) ||
        !eglBindAPI(EGL_OPENGL_API)) {
        return false;
    }
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE,
                                       EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config;
    EGLint configs = 0;
    if (!eglChooseConfig(display, configAttributes, &config, 1, &configs) || configs == 0) {
        return false;
    }
    const EGLint surfaceAttributes[] = {EGL_WIDTH, SIZE, EGL_HEIGHT, SIZE, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (surface == EGL_NO_SURFACE || context == EGL_NO_CONTEXT ||
        !eglMakeCurrent(display, surface, surface, context)) {
        return false;
    }
    bind(mesa.Begin, "glBegin");
    bind(mesa.End, "glEnd");
    bind(mesa.Vertex3f, "glVertex3f");
    bind(mesa.Color4f, "glColor4f");
    bind(mesa.Color4ub, "glColor4ub");
    bind(mesa.TexCoord2f, "glTexCoord2f");
    bind(mesa.Normal3f, "glNormal3f");
    bind(mesa.MultiTexCoord3fvARB, "glMultiTexCoord3fvARB");
    bind(mesa.MatrixMode, "glMatrixMode");
    bind(mesa.LoadIdentity, "glLoadIdentity");
    bind(mesa.PushMatrix, "glPushMatrix");
    bind(mesa.PopMatrix, "glPopMatrix");
    bind(mesa.Translatef, "glTranslatef");
    bind(mesa.Rotatef, "glRotatef");
    bind(mesa.Enable, "glEnable");
    bind(mesa.Disable, "glDisable");
    bind(mesa.TexGeni, "glTexGeni");
    bind(mesa.Viewport, "glViewport");
    bind(mesa.GenLists, "glGenLists");
    bind(mesa.NewList, "glNewList");
    bind(mesa.EndList, "glEndList");
    bind(mesa.ListBase, "glListBase");
    bind(mesa.CallLists, "glCallLists");
    bind(mesa.PushAttrib, "glPushAttrib");
    bind(mesa.PopAttrib, "glPopAttrib");
    bind(mesa.BindTexture, "glBindTexture");
    bind(mesa.TexParameteri, "glTexParameteri");
    bind(mesa.TexImage2D, "glTexImage2D");
    bind(mesaFeedbackBuffer, "glFeedbackBuffer");
    bind(mesaRenderMode, "glRenderMode");
    return mesaFeedbackBuffer != nullptr && mesaRenderMode != nullptr && mesa.CallLists != nullptr;
}

// The vertices of the polygons Mesa draws for scene.
std::vector<Drawn> drawnByMesa(void (*scene)(const Api&))
{
    static GLfloat buffer[1 << 16];
    mesaFeedbackBuffer(sizeof buffer / sizeof buffer[0], GL_4D_COLOR_TEXTURE, buffer);
    mesaRenderMode(GL_FEEDBACK);
    mesa.Viewport(0, 0, SIZE, SIZE);
    mesa.MatrixMode(GL_PROJECTION);
    mesa.LoadIdentity();
    mesa.MatrixMode(GL_TEXTURE);
    mesa.LoadIdentity();
    mesa.MatrixMode(GL_MODELVIEW);
    mesa.LoadIdentity();
    // The current values as a new context has them (the translation's are
    // reset before each scene).
    mesa.Color4f(1, 1, 1, 1);
    mesa.TexCoord2f(0, 0);
    mesa.Normal3f(0, 0, 1);
    mesa.ListBase(0);
    scene(mesa);
    const GLint count = mesaRenderMode(GL_RENDER);
    std::vector<Drawn> drawn;
    for (GLint i = 0; i < count;) {
        if (buffer[i] != GL_POLYGON_TOKEN) {
            ADD_FAILURE() << "Mesa fed back token " << buffer[i];
            break;
        }
        const int corners = static_cast<int>(buffer[i + 1]);
        i += 2;
        for (int c = 0; c < corners; ++c, i += 12) {
            const GLfloat* f = buffer + i;  // x y z w, r g b a, s t r q
            drawn.push_back(
                Drawn{{f[0], f[1], f[2], f[4], f[5], f[6], f[7], f[8] / f[11], f[9] / f[11]}});
        }
    }
    return drawn;
}

// The vertices of the triangles the translation hands to WebGL for scene.
std::vector<Drawn> drawnByTranslation(void (*scene)(const Api&))
{
    webGlReset();
    const Api api = translation();
    api.Viewport(0, 0, SIZE, SIZE);
    recordedDraws.clear();
    scene(api);
    webGlFlush();
    std::vector<Drawn> drawn;
    for (const RecordedDraw& draw : recordedDraws) {
        for (const WebGlVertex& v : draw.vertices) {
            const float w = v.clip[3];
            drawn.push_back(Drawn{{(v.clip[0] / w + 1) * SIZE / 2, (v.clip[1] / w + 1) * SIZE / 2,
                                   (v.clip[2] / w + 1) / 2, v.colour[0], v.colour[1], v.colour[2],
                                   v.colour[3], v.texCoord[0], v.texCoord[1]}});
        }
    }
    return drawn;
}

bool near(const Drawn& a, const Drawn& b)
{
    static const float tolerance[9] = {2e-3f, 2e-3f, 1e-4f, 1e-3f, 1e-3f,
                                       1e-3f, 1e-3f, 1e-4f, 1e-4f};
    for (int i = 0; i < 9; ++i) {
        if (std::fabs(a.v[i] - b.v[i]) > tolerance[i]) {
            return false;
        }
    }
    return true;
}

std::string describe(const Drawn& d)
{
    char text[200];
    snprintf(text, sizeof text,
             "at (%.3f, %.3f, %.4f) colour (%.3f %.3f %.3f %.3f) st (%.4f, %.4f)", d.v[0], d.v[1],
             d.v[2], d.v[3], d.v[4], d.v[5], d.v[6], d.v[7], d.v[8]);
    return text;
}

// Every vertex one side draws, the other draws too.
void expectSameVertices(void (*scene)(const Api&))
{
    static const bool mesaReady = openMesa();
    if (!mesaReady) {
        GTEST_SKIP() << "no Mesa context through EGL";
    }
    const std::vector<Drawn> ours = drawnByTranslation(scene);
    const std::vector<Drawn> theirs = drawnByMesa(scene);
    ASSERT_FALSE(theirs.empty()) << "Mesa drew nothing";
    ASSERT_FALSE(ours.empty()) << "the translation drew nothing";
    for (const Drawn& d : ours) {
        bool found = false;
        for (const Drawn& e : theirs) {
            found = found || near(d, e);
        }
        EXPECT_TRUE(found) << "the translation draws a vertex Mesa does not: " << describe(d);
    }
    for (const Drawn& e : theirs) {
        bool found = false;
        for (const Drawn& d : ours) {
            found = found || near(d, e);
        }
        EXPECT_TRUE(found) << "Mesa draws a vertex the translation does not: " << describe(e);
    }
}

// ---------------------------------------------------------------- scenes
// A turned, sphere-mapped pair of triangles whose texture matrix scrolls,
// their coordinates given through glMultiTexCoord3fvARB as the mesh does.
void sphereMapScene(const Api& gl)
{
    gl.TexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    gl.TexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    // Mesa generates coordinates only for a unit with a complete texture.
    static const unsigned char texel[4] = {255, 255, 255, 255};
    gl.BindTexture(GL_TEXTURE_2D, 1);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    gl.Enable(GL_TEXTURE_2D);
    gl.Enable(GL_TEXTURE_GEN_S);
    gl.Enable(GL_TEXTURE_GEN_T);
    gl.Translatef(0.1f, -0.05f, -0.3f);
    gl.Rotatef(37, 0, 1, 0.5f);
    gl.MatrixMode(GL_TEXTURE);
    gl.PushMatrix();
    gl.Translatef(0, -0.4f, 0);
    gl.Color4f(1, 1, 1, 0.8f);
    const GLfloat coords[3] = {0.25f, 0.75f, 0.5f};
    gl.Begin(GL_TRIANGLES);
    const float corners[6][3] = {{-0.5f, -0.4f, 0.1f}, {0.4f, -0.5f, -0.1f}, {0.1f, 0.5f, 0.2f},
                                 {-0.3f, 0.2f, -0.2f}, {0.5f, 0.3f, 0.0f},   {0.0f, -0.2f, 0.3f}};
    for (int i = 0; i < 6; ++i) {
        gl.Normal3f(0.3f * (i - 2), 0.5f, 0.8f);
        gl.MultiTexCoord3fvARB(GL_TEXTURE0_ARB, coords);
        gl.MultiTexCoord3fvARB(GL_TEXTURE1_ARB, coords);
        gl.Vertex3f(corners[i][0], corners[i][1], corners[i][2]);
    }
    gl.End();
    gl.PopMatrix();
    gl.MatrixMode(GL_MODELVIEW);
    gl.Disable(GL_TEXTURE_GEN_S);
    gl.Disable(GL_TEXTURE_GEN_T);
    gl.Disable(GL_TEXTURE_2D);
}

// Lists that draw a triangle and move the pen, called through a list base
// that glPushAttrib(GL_LIST_BIT) saves and glPopAttrib restores, as the
// scroller's text does; a list is then called through the restored base.
void displayListScene(const Api& gl)
{
    const GLuint base = gl.GenLists(4);
    for (GLuint i = 0; i < 4; ++i) {
        gl.NewList(base + i, GL_COMPILE);
        gl.Begin(GL_TRIANGLES);
        gl.Vertex3f(0, 0, 0);
        gl.Vertex3f(0.1f, 0, 0);
        gl.Vertex3f(0, 0.1f + 0.05f * static_cast<float>(i), 0);
        gl.End();
        gl.Translatef(0.15f, 0, 0);
        gl.EndList();
    }
    gl.Color4f(0, 0, 0, 0.4f);
    gl.Translatef(-0.8f, 0, 0);
    gl.ListBase(base + 3);
    gl.PushAttrib(GL_LIST_BIT);
    gl.ListBase(base);
    const GLuint lists[3] = {2, 0, 1};
    gl.CallLists(3, GL_UNSIGNED_INT, lists);
    gl.PopAttrib();
    const GLuint last[1] = {0};  // base + 3 again after the pop
    gl.CallLists(1, GL_UNSIGNED_INT, last);
}

// A colour set once, inside glBegin, for a whole run of quads, then one
// set per vertex in bytes; texture coordinates per vertex.
void colourScene(const Api& gl)
{
    gl.Translatef(0, 0, -0.2f);
    gl.Rotatef(-30, 1, 0, 0);
    gl.Begin(GL_QUADS);
    gl.Color4f(1, 0.5f, 0.25f, 0.6f);
    for (int q = 0; q < 2; ++q) {
        const float x = -0.6f + 0.6f * static_cast<float>(q);
        gl.TexCoord2f(1, 1);
        gl.Vertex3f(x + 0.5f, -0.25f, 0);
        gl.TexCoord2f(1, 0);
        gl.Vertex3f(x + 0.5f, 0.25f, 0);
        gl.TexCoord2f(0, 0);
        gl.Vertex3f(x, 0.25f, 0);
        gl.TexCoord2f(0, 1);
        gl.Vertex3f(x, -0.25f, 0);
    }
    gl.End();
    gl.Begin(GL_TRIANGLES);
    gl.Color4ub(255, 0, 0, 255);
    gl.Vertex3f(0, 0.3f, 0);
    gl.Color4ub(0, 255, 0, 128);
    gl.Vertex3f(0.2f, 0.3f, 0);
    gl.Color4ub(0, 0, 255, 7);
    gl.Vertex3f(0.1f, 0.5f, 0);
    gl.End();
}

}  // namespace

TEST(WebGlTranslation, SphereMapAndTextureMatrixAsMesa)
{
    expectSameVertices(sphereMapScene);
}

TEST(WebGlTranslation, DisplayListsAndTheListBaseAttributeAsMesa)
{
    expectSameVertices(displayListScene);
}

TEST(WebGlTranslation, ColourSetOnceInsideBeginAndQuadsAsMesa)
{
    expectSameVertices(colourScene);
}
