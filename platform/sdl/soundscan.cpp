// Offline playback of a module: the positions it reaches at fixed steps of
// time, and its sound over a span of time, rendered by libopenmpt as the
// output device would render them, with no device. Kept apart from
// sound.cpp so that programs and tests that fake the live sound calls can
// still use it.
#include "platform/tools.h"

#include <libopenmpt/libopenmpt.h>

// ---- state (the calling thread's, one scan at a time)
static int16_t scanBuffer[PLAT_RENDER_BLOCK_FRAMES * 2];  // rendered stereo or mono frames

// The module as the show loads it: from order 0, row 0, looping forever.
// Without dither, whose noise libopenmpt seeds afresh for every module, the
// 16-bit render is the same on every run.
static openmpt_module* openScanModule(const void* data, size_t length)
{
    openmpt_module* module = openmpt_module_create_from_memory2(
        data, length, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr, nullptr,
        nullptr, nullptr);
    if (!module)
        return nullptr;
    openmpt_module_set_repeat_count(module, -1);
    openmpt_module_ctl_set_integer(module, "dither", 0);
    return module;
}

bool platMusicScanPositions(const void* data, size_t length, int frequency, int stepMs,
                            uint32_t* positions, int count)
{
    if (!data || length == 0 || frequency <= 0 || stepMs <= 0 || count < 0)
        return false;
    openmpt_module* module = openScanModule(data, length);
    if (!module)
        return false;

    // Step k ends at frame k * frequency * stepMs / 1000, counted from the
    // first frame, so rounding never adds up over a long scan.
    int64_t rendered = 0;
    for (int step = 1; step <= count; step++) {
        int64_t target = static_cast<int64_t>(step) * frequency * stepMs / 1000;
        while (rendered < target) {
            int64_t left = target - rendered;
            size_t want = left < PLAT_RENDER_BLOCK_FRAMES
                              ? static_cast<size_t>(left)
                              : static_cast<size_t>(PLAT_RENDER_BLOCK_FRAMES);
            size_t got = openmpt_module_read_mono(module, frequency, want, scanBuffer);
            if (got == 0)
                break;  // cannot happen while looping; never spin
            rendered += static_cast<int64_t>(got);
        }
        uint32_t order = static_cast<uint32_t>(openmpt_module_get_current_order(module));
        uint32_t row = static_cast<uint32_t>(openmpt_module_get_current_row(module));
        positions[step - 1] = (order & 0xFFFFu) | (row << 16);
    }
    openmpt_module_destroy(module);
    return true;
}

bool platMusicRenderStereo(const void* data, size_t length, int frequency, int64_t firstFrame,
                           int64_t count, int16_t* samples)
{
    if (!data || length == 0 || frequency <= 0 || firstFrame < 0 || count < 0)
        return false;
    openmpt_module* module = openScanModule(data, length);
    if (!module)
        return false;
    // libopenmpt's rounding follows the calls' boundaries, so the blocks are
    // laid from the first frame of the music on, whatever the span, and the
    // frames before the span are rendered and dropped.
    const int64_t endFrame = firstFrame + count;
    int64_t rendered = 0;
    while (rendered < endFrame) {
        size_t got = openmpt_module_read_interleaved_stereo(module, frequency,
                                                            PLAT_RENDER_BLOCK_FRAMES, scanBuffer);
        if (got == 0)
            break;  // cannot happen while looping; never spin
        int64_t from = rendered > firstFrame ? rendered : firstFrame;
        int64_t to = rendered + static_cast<int64_t>(got) < endFrame
                         ? rendered + static_cast<int64_t>(got)
                         : endFrame;
        for (int64_t frame = from; frame < to; frame++) {
            samples[(frame - firstFrame) * 2] = scanBuffer[(frame - rendered) * 2];
            samples[(frame - firstFrame) * 2 + 1] = scanBuffer[(frame - rendered) * 2 + 1];
        }
        rendered += static_cast<int64_t>(got);
    }
    openmpt_module_destroy(module);
    return rendered >= endFrame;
}
