#include "app/extensions.h"

#include "platform/platform.h"

// ------------------------------------------------------------------ state
// extensionTable: one function pointer per entry, the stub until resolved.
// Written and read by the main thread only.

const char* const extensionNames[EXTENSION_COUNT] = {
    "glMultiTexCoord3fvARB",
};
const char* const extensionOwners[EXTENSION_COUNT] = {
    "GL_ARB_multitexture",
};

// Main thread.
void* platformExtensionLookup(const char* function, const char* extension)
{
    if (!platHasExtension(extension)) {
        return nullptr;
    }
    return platGetProcAddress(function);
}

ExtensionLookup extensionLookup = platformExtensionLookup;

// Looks entry `index` up; on success stores it in the table. Main thread.
static ExtensionProc resolveEntry(int index)
{
    void* found = extensionLookup(extensionNames[index], extensionOwners[index]);
    if (found == nullptr) {
        return nullptr;
    }
    ExtensionProc proc = reinterpret_cast<ExtensionProc>(found);
    extensionTable[index] = proc;
    return proc;
}

void resetExtensionTable()
{
    for (int i = 0; i < EXTENSION_COUNT; ++i) {
        extensionTable[i] = extensionStubs[i];
    }
}

// Main thread.
bool resolveExtension(ExtensionIndex index)
{
    if (extensionTable[index] != extensionStubs[index]) {
        return true;
    }
    return resolveEntry(index) != nullptr;
}

// Resolver stub of entry Index with the signature Result(Args...): resolves
// the entry and forwards the call, or returns 0 when there is nothing to call.
template <int Index, typename Result, typename... Args>
static Result resolveAndCall(Args... args)
{
    ExtensionProc proc = resolveEntry(Index);
    if (proc == nullptr) {
        return Result();
    }
    return reinterpret_cast<Result (*)(Args...)>(proc)(args...);
}

// The stub of each entry, named by its index and the GL function's signature.
#define EXTENSION_STUB(index, result, ...)                                                         \
    reinterpret_cast<ExtensionProc>(&resolveAndCall<index, result, __VA_ARGS__>)

const ExtensionProc extensionStubs[EXTENSION_COUNT] = {
    EXTENSION_STUB(EXT_MULTI_TEX_COORD_3FV_ARB, void, GLenum, const GLfloat*),
};

ExtensionProc extensionTable[EXTENSION_COUNT] = {
    EXTENSION_STUB(EXT_MULTI_TEX_COORD_3FV_ARB, void, GLenum, const GLfloat*),
};
