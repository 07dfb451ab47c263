// Window messages as the platform layer's messages. Any thread; no state.
#pragma once

#define WIN32_LEAN_AND_MEAN
#if !defined(NOMINMAX)
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/platform.h"

// The PlatMessage a window message stands for: its type, and the words of
// wParam and lParam it carries (the low 32 bits of each); PLAT_MSG_OTHER
// for messages the show does not look at. WM_QUIT is PLAT_MSG_QUIT.
PlatMessage translateWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
