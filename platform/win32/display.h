// What the Win32 backend's files share: the window's device context, which
// the outline font is built from. Main thread only.
#pragma once

#define WIN32_LEAN_AND_MEAN
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/platform.h"

// The window's device context; null before platGetDrawable.
HDC displayDeviceContext();
