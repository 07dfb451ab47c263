// The lazily bound table of GL extension entry points.
//
// Each entry starts out pointing at its own resolver stub. The first call
// through an entry looks the real function up (extensionLookup), stores it
// in the entry and passes the call on. When the lookup finds nothing the
// call does nothing and returns 0, the entry keeps pointing at its stub, and
// the next call looks again. Callers never initialise anything.
//
// Threads: main thread only, with the GL context current.
#pragma once

#include <GL/gl.h>

// One index per entry; the show calls only glMultiTexCoord3fvARB.
enum ExtensionIndex { EXT_MULTI_TEX_COORD_3FV_ARB = 0, EXTENSION_COUNT };

using ExtensionProc = void (*)();

// Entry i: its resolver stub until resolved, then the driver's function.
extern ExtensionProc extensionTable[EXTENSION_COUNT];
// The resolver stub of each entry (what the entry points at initially).
extern const ExtensionProc extensionStubs[EXTENSION_COUNT];
// The GL function name each entry looks up, and the extension that must be
// listed by the context for it to count as present.
extern const char* const extensionNames[EXTENSION_COUNT];
extern const char* const extensionOwners[EXTENSION_COUNT];

// Finds a function by name, given the extension that owns it; null when the
// context does not offer it. The default asks the platform: the extension
// string first (the platform's lookup gives non-null pointers even for names
// it does not know), then the name. Tests may point it elsewhere.
using ExtensionLookup = void* (*)(const char* function, const char* extension);
extern ExtensionLookup extensionLookup;
void* platformExtensionLookup(const char* function, const char* extension);

// Resolves entry `index` now without calling it; true when it is resolved.
// For callers that use an entry between glBegin and glEnd: there the context
// cannot report its extensions, so a first call made there would find the
// entry unavailable (and look it up again on every call).
bool resolveExtension(ExtensionIndex index);

// Points every entry back at its stub, as a new process has them: a new GL
// context may offer other entry points. Main thread, between shows.
void resetExtensionTable();

// Calls through the table, typed like the GL functions they stand for.
inline void callMultiTexCoord3fvARB(GLenum unit, const GLfloat* coords)
{
    using Function = void (*)(GLenum, const GLfloat*);
    reinterpret_cast<Function>(extensionTable[EXT_MULTI_TEX_COORD_3FV_ARB])(unit, coords);
}
