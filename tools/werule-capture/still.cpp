#include "tools/werule-capture/still.h"

#include <cstdio>
#include <cstdlib>

#include "show/replay.h"
#include "tools/werule-capture/capture.h"
#include "tools/werule-capture/encode.h"

int captureStill(CaptureOptions& options)
{
    uint8_t* rgb =
        static_cast<uint8_t*>(malloc(static_cast<size_t>(options.width) * options.height * 3));
    if (rgb == nullptr) {
        fprintf(stderr, "werule-capture: no memory for %dx%d\n", options.width, options.height);
        return 1;
    }
    bool endCueSeen = false;
    if (!options.haveFlash &&
        !replayCueTicks(ticksAt(options.moment.seconds), &options.moment.flash, &endCueSeen)) {
        fprintf(stderr, "werule-capture: the music module does not load\n");
        free(rgb);
        return 1;
    }
    if (!openCapture(options.width, options.height, options.moment.seed)) {
        fprintf(stderr, "werule-capture: no offscreen GL context\n");
        free(rgb);
        return 1;
    }
    captureFrame(options.moment, rgb, options.width, options.height);
    closeCapture();
    const bool written = writePng(options.out, rgb, options.width, options.height, -1);
    free(rgb);
    if (!written) {
        fprintf(stderr, "werule-capture: cannot write %s\n", options.out);
        return 1;
    }
    return 0;
}
