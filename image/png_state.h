// The PNG reader's working state, shared by the decoder chain inside image/
// (the reader, inflate and the scanline filters) and by the decoder's own
// tests. Nothing outside image/ includes it: the reader's interface is
// image/png.h.
#pragma once

#include <cstdint>

#include "image/png.h"

// Valid for the duration of one decodePng; main thread.

// Appends code to pngErrors unless it already holds PNG_MAX_ERRORS codes.
void addPngError(int32_t code);

// The byte source. Below byteLimit the bytes are plain data of the current
// chunk (or of the whole input outside the image data); nextByteAtLimit takes
// the step there: across to the next IDAT chunk, or, at the end of the input
// or of the image data, a 0 counted in pngMissingBytes.
extern const uint8_t* inputPos;   // next byte to read
extern const uint8_t* byteLimit;  // inputPos may advance freely up to here
extern int32_t pngMissingBytes;   // zeros yielded past the end, bytes
int32_t nextByteAtLimit();
inline int32_t nextByte()
{
    return inputPos < byteLimit ? *inputPos++ : nextByteAtLimit();
}

// Points the byte source at a bare zlib stream (no chunks) and clears the
// error list: lets the inflate decoder run on its own (tests, benchmarks).
void startByteSource(const uint8_t* data, int32_t length);

// The decoded header and the inflated rows that reconstructScanlines works on.
extern int32_t pngWidth, pngHeight;  // pixels
extern int32_t pngBitDepth;          // bits per sample
extern int32_t pngColourType;        // 0, 2, 3, 4 or 6 when accepted
extern int32_t pngBytesPerPixel;     // bytes
extern uint8_t* scanlineBuffer;      // rows of 1 filter byte + pixel bytes, top first
extern uint32_t pngPalette[256];     // R, G, B, A bytes like Image pixels
