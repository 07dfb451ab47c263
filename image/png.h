// The PNG reader: decodes a PNG held in memory into an Image.
//
// It reads the subset the show needs: bit depth 8, no interlacing, colour
// types 0 (grey), 2 (RGB), 3 (palette), 4 (grey and alpha) and 6 (RGB and
// alpha). CRCs and the zlib checksum are not verified; ancillary and unknown
// chunks are skipped. Every other departure from that subset, and every value
// of a corrupt file that would take the decoder outside its buffers, fails
// the decode with a code in pngErrors.
#pragma once

#include <cstdint>

// A decoded picture in one heap block: width, height, then width * height
// pixels of the bytes R, G, B, A, bottom row first. Created by decodePng,
// released by its receiver with free().
struct Image {
    int32_t width;
    int32_t height;
};
inline uint8_t* imagePixels(Image* image)
{
    return reinterpret_cast<uint8_t*>(image + 1);
}
inline const uint8_t* imagePixels(const Image* image)
{
    return reinterpret_cast<const uint8_t*>(image + 1);
}

// Returns a new Image, or null when the decode failed (the reasons are in
// the error list below). Main thread; not re-entrant.
Image* decodePng(const uint8_t* data, int32_t length);

// ------------------------------------------------------------ error list
// Codes of the last decode, in the order raised; a decode fails exactly when
// pngErrorCount is above 0. At most PNG_MAX_ERRORS are kept.
enum : int32_t {
    PNG_ERR_SIGNATURE = 1,            // one of the 8 signature bytes differs
    PNG_ERR_STORED_LENGTH = 3,        // stored deflate block: LEN is not ~NLEN
    PNG_ERR_HEADER = 4,               // bit depth above 8, or compression, filter or
                                      // interlace method not 0 (one code per test)
    PNG_ERR_BIT_DEPTH = 5,            // bit depth below 8 (1, 2, 4 or nonsense)
    PNG_ERR_COLOUR_TYPE = 6,          // colour type other than 0, 2, 3, 4, 6
    PNG_ERR_SIZE = 7,                 // width or height 0, negative or above PNG_MAX_SIDE
    PNG_ERR_SIZE_FOR_INPUT = 8,       // the image needs more inflated bytes than the
                                      // rest of the file could hold at deflate's best ratio
    PNG_ERR_HEADER_LENGTH = 9,        // IHDR chunk length is not 13
    PNG_ERR_DUPLICATE_HEADER = 10,    // a second IHDR
    PNG_ERR_CHUNK_LENGTH = 11,        // a chunk's length runs past the end of the file
    PNG_ERR_PALETTE_SIZE = 12,        // PLTE with more than 256 entries
    PNG_ERR_PALETTE_LENGTH = 13,      // PLTE length not a multiple of 3
    PNG_ERR_TRANSPARENCY_SIZE = 14,   // tRNS with more than 256 entries
    PNG_ERR_DATA_BEFORE_HEADER = 15,  // IDAT before IHDR
    PNG_ERR_NO_PALETTE = 16,          // palette image data with no PLTE before it
    PNG_ERR_NO_HEADER = 17,           // the chunk walk ended without IHDR
    PNG_ERR_NO_IMAGE_DATA = 18,       // the chunk walk ended without IDAT
    PNG_ERR_INPUT_END = 19,           // the deflate stream needs bits beyond the image data
    PNG_ERR_DATA_SHORT = 20,          // the stream ended before filling every row
    PNG_ERR_OUTPUT_OVERFLOW = 21,     // the stream holds more bytes than the rows
    PNG_ERR_DISTANCE = 22,            // a back-reference before the start of the output
    PNG_ERR_LENGTH_SYMBOL = 23,       // literal/length symbol 286, 287 or an uncovered code
    PNG_ERR_DISTANCE_SYMBOL = 24,     // distance symbol 30, 31 or an uncovered code
    PNG_ERR_CODE_LENGTH_SYMBOL = 25,  // code-length symbol outside 0 to 18 (uncovered code)
    PNG_ERR_REPEAT_NO_PREVIOUS = 26,  // code-length repeat (16) with no previous length
    PNG_ERR_TABLE_SLOTS = 27,         // a code needs more second-level tables than the 256 slots
    PNG_ERR_MEMORY = 28,              // a heap allocation failed
};
constexpr int32_t PNG_MAX_ERRORS = 64;
constexpr int32_t PNG_MAX_SIDE = 16384;  // pixels; larger sides are refused

extern int32_t pngErrors[PNG_MAX_ERRORS];
extern int32_t pngErrorCount;  // 0 to PNG_MAX_ERRORS
