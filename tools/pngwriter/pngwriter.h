// A small PNG writer for the asset generators: 8-bit RGB, not interlaced,
// one adaptive filter per row, zlib-compressed image data split over a
// chosen number of IDAT chunks, and a few fixed ancillary chunks. The same
// picture and settings always give the same bytes, so generated assets can
// be checked against the committed files.
#pragma once

#include <cstdint>

// How one picture is encoded.
struct PngSettings {
    int idatChunks;  // the image data is split over this many consecutive IDAT chunks (1 or more)
    bool
        fixedCodes;  // true: deflate with the fixed Huffman codes only; false: let zlib pick dynamic codes
    bool
        fixedLaterHalf;  // with fixedCodes false: switch to fixed codes halfway through the image data,
                         // so one stream holds both kinds of block
    bool timeChunk;      // write tIME (a fixed date, never the clock)
    bool physChunk;      // write pHYs (72 dots per inch, square pixels)
    bool gammaChunks;  // write gAMA (1/2.2) and cHRM (sRGB primaries)
};

// Counts of the row filter types (0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth)
// chosen by the last pngWrite call. Main thread of the tool.
extern int pngFilterCounts[5];

// Encodes width by height pixels of 3 bytes each (R, G, B), top row first,
// and writes the PNG file at path. False when width or height is out of
// range (1 to 4096), zlib fails or the file cannot be written.
bool pngWrite(const char* path, const uint8_t* rgb, int width, int height,
              const PngSettings& settings);
