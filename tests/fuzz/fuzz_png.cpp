// libFuzzer entry: any bytes through decodePng. Beyond what the sanitizers
// catch, a decode must either fail with codes in the list or give a picture
// of the header's size with an empty list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/png.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > static_cast<size_t>(INT32_MAX)) {
        return 0;
    }
    Image* image = decodePng(data, static_cast<int32_t>(size));
    if (image == nullptr) {
        if (pngErrorCount < 1 || pngErrorCount > PNG_MAX_ERRORS) {
            __builtin_trap();
        }
        return 0;
    }
    if (pngErrorCount != 0 || image->width < 1 || image->height < 1 ||
        image->width > PNG_MAX_SIDE || image->height > PNG_MAX_SIDE) {
        __builtin_trap();
    }
    // Every pixel must have been written: MSan-free builds catch unwritten
    // bytes only through their use, so fold them into a value.
    const uint8_t* pixels = imagePixels(image);
    uint32_t sum = 0;
    for (size_t i = 0; i < 4 * static_cast<size_t>(image->width) * image->height; ++i) {
        sum += pixels[i];
    }
    free(image);
    return sum == 0xFFFFFFFFu ? 1 : 0;
}
