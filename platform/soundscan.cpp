// Offline playback of a module: the positions it reaches at fixed steps of
// time, rendered by libopenmpt as the output device would render them, with
// no device. Kept apart from sound.cpp so that programs and tests that fake
// the live sound calls can still use it.
#include "platform/platform.h"

#include <libopenmpt/libopenmpt.h>

namespace {

enum { SCAN_BLOCK_FRAMES = 1024 };   // frames rendered per call

// ---- state (the calling thread's, one scan at a time)
int16_t scanBuffer[SCAN_BLOCK_FRAMES];   // rendered mono samples, discarded

}  // namespace

bool platMusicScanPositions(const void* data, size_t length, int frequency, int stepMs,
                            uint32_t* positions, int count) {
    if (!data || length == 0 || frequency <= 0 || stepMs <= 0 || count < 0) return false;
    openmpt_module* module = openmpt_module_create_from_memory2(
        data, length, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr,
        nullptr, nullptr, nullptr);
    if (!module) return false;
    openmpt_module_set_repeat_count(module, -1);

    // Step k ends at frame k * frequency * stepMs / 1000, counted from the
    // first frame, so rounding never adds up over a long scan.
    int64_t rendered = 0;
    for (int step = 1; step <= count; step++) {
        int64_t target = (int64_t)step * frequency * stepMs / 1000;
        while (rendered < target) {
            int64_t left = target - rendered;
            size_t want = left < SCAN_BLOCK_FRAMES ? (size_t)left : (size_t)SCAN_BLOCK_FRAMES;
            size_t got = openmpt_module_read_mono(module, frequency, want, scanBuffer);
            if (got == 0) break;   // cannot happen while looping; never spin
            rendered += (int64_t)got;
        }
        uint32_t order = (uint32_t)openmpt_module_get_current_order(module);
        uint32_t row = (uint32_t)openmpt_module_get_current_row(module);
        positions[step - 1] = (order & 0xFFFFu) | (row << 16);
    }
    openmpt_module_destroy(module);
    return true;
}
