// werule-capture: the show rendered without any window, by the intro's own
// drawing and timing code. A still (--at SECONDS --out FILE.png), or a span
// of the show with its music as a video (--video OUT) or as PNG frames and
// a WAV (--frames DIR); --help lists every option.
#include "tools/werule-capture/options.h"
#include "tools/werule-capture/recording.h"
#include "tools/werule-capture/still.h"

int main(int argc, char** argv)
{
    CaptureOptions options;
    const int refused = readCaptureOptions(argc, argv, &options);
    if (refused >= 0) {
        return refused;
    }
    if (options.mode == MODE_STILL) {
        return captureStill(options);
    }
    return captureVideo(options);
}
