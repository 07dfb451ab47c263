#include "platform/win32/messages.h"

PlatMessage translateWindowMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    int type = PLAT_MSG_OTHER;
    switch (message) {
    case WM_QUIT: type = PLAT_MSG_QUIT; break;
    case WM_SIZE: type = PLAT_MSG_SIZE; break;
    case WM_ACTIVATE: type = PLAT_MSG_ACTIVATE; break;
    case WM_CLOSE: type = PLAT_MSG_CLOSE; break;
    case WM_KEYDOWN: type = PLAT_MSG_KEYDOWN; break;
    case WM_KEYUP: type = PLAT_MSG_KEYUP; break;
    case WM_SYSKEYDOWN: type = PLAT_MSG_SYSKEYDOWN; break;
    case WM_SYSKEYUP: type = PLAT_MSG_SYSKEYUP; break;
    case WM_SYSCOMMAND: type = PLAT_MSG_SYSCOMMAND; break;
    default: break;
    }
    // WM_SIZE packs width and height into lParam's low two words, WM_ACTIVATE
    // the minimised flag into wParam's high word: the 32 bits kept.
    return PlatMessage{type, static_cast<uint32_t>(wParam & 0xFFFFFFFFu),
                       static_cast<uint32_t>(static_cast<uint64_t>(lParam) & 0xFFFFFFFFu)};
}
