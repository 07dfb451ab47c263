// The extension table's resolver: the stub looks the entry up on every call
// until the lookup finds it, then forwards; the platform's lookup goes by
// the extension string of the current context.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include "app/extensions.h"

namespace {

struct FakeLookup {
    int calls = 0;
    void* answer = nullptr;
    const char* lastFunction = nullptr;
    const char* lastExtension = nullptr;
} fake;

}  // namespace

static void* fakeLookup(const char* function, const char* extension)
{
    ++fake.calls;
    fake.lastFunction = function;
    fake.lastExtension = extension;
    return fake.answer;
}

namespace {

struct Forwarded {
    int calls = 0;
    GLenum unit = 0;
    const GLfloat* coords = nullptr;
} forwarded;

}  // namespace

static void fakeMultiTexCoord(GLenum unit, const GLfloat* coords)
{
    ++forwarded.calls;
    forwarded.unit = unit;
    forwarded.coords = coords;
}

TEST(ExtensionTable, UnresolvedEntryLooksUpOnEveryCallAndForwardsNothing)
{
    extensionTable[EXT_MULTI_TEX_COORD_3FV_ARB] = extensionStubs[EXT_MULTI_TEX_COORD_3FV_ARB];
    extensionLookup = fakeLookup;
    fake = FakeLookup{};
    forwarded = Forwarded{};
    const GLfloat coords[3] = {0.1f, 0.2f, 0.3f};
    callMultiTexCoord3fvARB(GL_TEXTURE0_ARB, coords);
    EXPECT_EQ(fake.calls, 1);
    EXPECT_STREQ(fake.lastFunction, "glMultiTexCoord3fvARB");
    EXPECT_STREQ(fake.lastExtension, "GL_ARB_multitexture");
    EXPECT_EQ(extensionTable[EXT_MULTI_TEX_COORD_3FV_ARB],
              extensionStubs[EXT_MULTI_TEX_COORD_3FV_ARB]);
    callMultiTexCoord3fvARB(GL_TEXTURE1_ARB, coords);
    EXPECT_EQ(fake.calls, 2);
    EXPECT_EQ(forwarded.calls, 0);

    // Once the lookup finds it, the call goes through and later calls skip the lookup.
    fake.answer = reinterpret_cast<void*>(&fakeMultiTexCoord);
    callMultiTexCoord3fvARB(GL_TEXTURE1_ARB, coords);
    EXPECT_EQ(fake.calls, 3);
    EXPECT_EQ(forwarded.calls, 1);
    EXPECT_EQ(forwarded.unit, static_cast<GLenum>(GL_TEXTURE1_ARB));
    EXPECT_EQ(forwarded.coords, coords);
    EXPECT_EQ(extensionTable[EXT_MULTI_TEX_COORD_3FV_ARB],
              reinterpret_cast<ExtensionProc>(&fakeMultiTexCoord));
    fake.answer = nullptr;
    callMultiTexCoord3fvARB(GL_TEXTURE0_ARB, coords);
    EXPECT_EQ(fake.calls, 3);
    EXPECT_EQ(forwarded.calls, 2);
    EXPECT_EQ(forwarded.unit, static_cast<GLenum>(GL_TEXTURE0_ARB));

    extensionTable[EXT_MULTI_TEX_COORD_3FV_ARB] = extensionStubs[EXT_MULTI_TEX_COORD_3FV_ARB];
    extensionLookup = platformExtensionLookup;
}

TEST(ExtensionTable, PlatformLookupGoesByTheExtensionString)
{
    EXPECT_NE(platformExtensionLookup("glMultiTexCoord3fvARB", "GL_ARB_multitexture"), nullptr);
    EXPECT_EQ(platformExtensionLookup("glMultiTexCoord3fvARB", "GL_WERULE_no_such_extension"),
              nullptr);

    // Through the real lookup the entry sets unit 0's current coordinates.
    extensionTable[EXT_MULTI_TEX_COORD_3FV_ARB] = extensionStubs[EXT_MULTI_TEX_COORD_3FV_ARB];
    const GLfloat coords[3] = {0.25f, 0.5f, 0.75f};
    callMultiTexCoord3fvARB(GL_TEXTURE0_ARB, coords);
    EXPECT_NE(extensionTable[EXT_MULTI_TEX_COORD_3FV_ARB],
              extensionStubs[EXT_MULTI_TEX_COORD_3FV_ARB]);
    GLfloat current[4] = {};
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, current);
    EXPECT_EQ(current[0], 0.25f);
    EXPECT_EQ(current[1], 0.5f);
    EXPECT_EQ(current[2], 0.75f);
}
