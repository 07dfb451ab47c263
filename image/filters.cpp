// Scanline filter reconstruction (PNG filter method 0), in place: each row
// reads the row above back from the same buffer, one stride earlier. Every
// sum wraps modulo 256.
#include "image/filters.h"

#include <cstddef>
#include <cstdlib>

#include "image/png_state.h"

enum : uint8_t {
    FILTER_NONE = 0,
    FILTER_SUB = 1,
    FILTER_UP = 2,
    FILTER_AVERAGE = 3,
    FILTER_PAETH = 4
};

int32_t paethPredictor(int32_t a, int32_t b, int32_t c)
{
    const int32_t p = a + b - c;
    const int32_t pa = abs(p - a);
    const int32_t pb = abs(p - b);
    const int32_t pc = abs(p - c);
    if (pa <= pb && pa <= pc) {
        return a;
    }
    if (pb <= pc) {
        return b;
    }
    return c;
}

// The same choice without branches, for the row loop: pa = |b - c|,
// pb = |a - c|, pc = |a + b - 2c|.
static inline uint8_t paethFast(int32_t a, int32_t b, int32_t c)
{
    const int32_t pa = abs(b - c);
    const int32_t pb = abs(a - c);
    const int32_t pc = abs(a + b - 2 * c);
    const int32_t bc = pb <= pc ? b : c;
    return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : bc);
}

// x: the row's n pixel bytes; up: the row above, or null in row 0.
// BPP is the pixel size in bytes (1 to 4), fixed per call so the loops
// unroll around it.
template <int BPP>
static void unfilterRow(uint8_t filter, uint8_t* x, const uint8_t* up, size_t n)
{
    switch (filter) {
    case FILTER_SUB:
        for (size_t i = BPP; i < n; ++i) {
            x[i] = static_cast<uint8_t>(x[i] + x[i - BPP]);
        }
        break;
    case FILTER_UP:
        if (up != nullptr) {
            for (size_t i = 0; i < n; ++i) {
                x[i] = static_cast<uint8_t>(x[i] + up[i]);
            }
        }
        break;
    case FILTER_AVERAGE:
        if (up == nullptr) {
            for (size_t i = BPP; i < n; ++i) {
                x[i] = static_cast<uint8_t>(x[i] + (x[i - BPP] >> 1));
            }
        } else {
            for (size_t i = 0; i < BPP && i < n; ++i) {
                x[i] = static_cast<uint8_t>(x[i] + (up[i] >> 1));
            }
            for (size_t i = BPP; i < n; ++i) {
                x[i] = static_cast<uint8_t>(x[i] + ((x[i - BPP] + up[i]) >> 1));
            }
        }
        break;
    case FILTER_PAETH:
        if (up == nullptr) {
            // b = c = 0: the predictor is a, as for Sub.
            for (size_t i = BPP; i < n; ++i) {
                x[i] = static_cast<uint8_t>(x[i] + x[i - BPP]);
            }
        } else {
            for (size_t i = 0; i < BPP && i < n; ++i) {
                x[i] = static_cast<uint8_t>(x[i] + up[i]);  // a = c = 0: the predictor is b
            }
            for (size_t i = BPP; i < n; ++i) {
                x[i] = static_cast<uint8_t>(x[i] + paethFast(x[i - BPP], up[i], up[i - BPP]));
            }
        }
        break;
    default:  // None, and types 5 to 255: the row stays as stored
        break;
    }
}

template <int BPP>
static void unfilterRows(uint8_t* buffer, size_t stride, int32_t rows)
{
    const size_t n = stride - 1;
    for (int32_t r = 0; r < rows; ++r) {
        uint8_t* row = buffer + static_cast<size_t>(r) * stride;
        const uint8_t* up = r > 0 ? row - stride + 1 : nullptr;
        unfilterRow<BPP>(row[0], row + 1, up, n);
    }
}

void reconstructScanlines()
{
    const size_t stride = static_cast<size_t>(pngBytesPerPixel) * pngWidth + 1;
    switch (pngBytesPerPixel) {
    case 1: unfilterRows<1>(scanlineBuffer, stride, pngHeight); break;
    case 2: unfilterRows<2>(scanlineBuffer, stride, pngHeight); break;
    case 3: unfilterRows<3>(scanlineBuffer, stride, pngHeight); break;
    default: unfilterRows<4>(scanlineBuffer, stride, pngHeight); break;
    }
}
