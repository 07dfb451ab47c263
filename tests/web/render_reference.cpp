// web-render-reference: the native libopenmpt's side of the page's music,
// for the page tests and the sync benchmark.
//   web-render-reference render RATE FRAMES OUT   the embedded module as the
//       page renders it (from order 0, row 0, looping, float stereo in
//       sub-blocks of 128 frames), the first FRAMES frames as interleaved
//       little-endian 32-bit floats into OUT
//   web-render-reference cues RATE   the frame at which each flash cue's row
//       and the end cue's row begin, one "ORDER ROW FRAME" line each, in
//       the order they are heard (found to within 16 frames)
#include <libopenmpt/libopenmpt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "assets/assets.h"

enum { PAGE_SUBBLOCK_FRAMES = 128, CUE_STEP_FRAMES = 16 };

static openmpt_module* openModule()
{
    openmpt_module* module = openmpt_module_create_from_memory2(
        assetMusicIt, assetMusicItSize, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, nullptr, nullptr, nullptr);
    if (module != nullptr)
        openmpt_module_set_repeat_count(module, -1);
    return module;
}

static int render(openmpt_module* module, int rate, long frames, const char* path)
{
    FILE* out = fopen(path, "wb");
    if (out == nullptr) {
        perror(path);
        return 1;
    }
    float left[PAGE_SUBBLOCK_FRAMES], right[PAGE_SUBBLOCK_FRAMES];
    float interleaved[PAGE_SUBBLOCK_FRAMES * 2];
    for (long done = 0; done < frames; done += PAGE_SUBBLOCK_FRAMES) {
        size_t got =
            openmpt_module_read_float_stereo(module, rate, PAGE_SUBBLOCK_FRAMES, left, right);
        for (int i = 0; i < PAGE_SUBBLOCK_FRAMES; i++) {
            interleaved[2 * i] = i < static_cast<int>(got) ? left[i] : 0.0f;
            interleaved[2 * i + 1] = i < static_cast<int>(got) ? right[i] : 0.0f;
        }
        long keep =
            frames - done < PAGE_SUBBLOCK_FRAMES ? frames - done : long{PAGE_SUBBLOCK_FRAMES};
        fwrite(interleaved, sizeof(float) * 2, static_cast<size_t>(keep), out);
    }
    return fclose(out) == 0 ? 0 : 1;
}

// The show's cue rows: rows 52 and 56 of the flash orders, then row 62 of
// order 29, the end cue.
static bool isCue(int order, int row)
{
    static const int FLASH_ORDERS[] = {15, 17, 21, 23, 25, 27, 29};
    for (int flashOrder : FLASH_ORDERS)
        if (order == flashOrder && (row == 52 || row == 56))
            return true;
    return order == 29 && row == 62;
}

static int cues(openmpt_module* module, int rate)
{
    float left[CUE_STEP_FRAMES], right[CUE_STEP_FRAMES];
    long frame = 0;
    int lastOrder = -1, lastRow = -1;
    // Past the end cue (144.2 s) and no further: the module loops.
    for (long end = 150L * rate; frame < end; frame += CUE_STEP_FRAMES) {
        int order = openmpt_module_get_current_order(module);
        int row = openmpt_module_get_current_row(module);
        if ((order != lastOrder || row != lastRow) && isCue(order, row))
            printf("%d %d %ld\n", order, row, frame);
        lastOrder = order;
        lastRow = row;
        if (openmpt_module_read_float_stereo(module, rate, CUE_STEP_FRAMES, left, right) == 0)
            break;
    }
    return 0;
}

int main(int argc, char** argv)
{
    const bool renderMode = argc == 5 && strcmp(argv[1], "render") == 0;
    const bool cueMode = argc == 3 && strcmp(argv[1], "cues") == 0;
    const int rate = argc >= 3 ? atoi(argv[2]) : 0;
    if ((!renderMode && !cueMode) || rate < 8000 || rate > 192000) {
        fprintf(stderr, "usage: web-render-reference render RATE FRAMES OUT | cues RATE\n");
        return 2;
    }
    openmpt_module* module = openModule();
    if (module == nullptr) {
        fprintf(stderr, "web-render-reference: the module does not load\n");
        return 1;
    }
    int result = renderMode ? render(module, rate, atol(argv[3]), argv[4]) : cues(module, rate);
    openmpt_module_destroy(module);
    return result;
}
