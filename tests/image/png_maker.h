// Writes PNG files for the image tests, the fuzzer's seeds and the
// benchmarks: pictures of several kinds, the five filters applied the way an
// encoder does, the image data compressed by zlib with any settings and split
// into IDAT chunks of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <zlib.h>

using Bytes = std::vector<uint8_t>;

enum class PictureKind { Photo, Flat, Noise };

struct PngPicture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t colourType = 2;  // 0, 2, 3, 4 or 6
    Bytes samples;           // rows top first, samplesPerPixel bytes a pixel, no filter byte
    Bytes palette;           // PLTE contents (R, G, B per entry), colour type 3
    Bytes transparency;      // tRNS contents; empty means no tRNS chunk
};

int32_t samplesPerPixel(int32_t colourType);

// A picture of the given kind, the same for the same seed. Palette pictures
// get a full palette of paletteSize entries and, if withTransparency, a tRNS
// chunk over the first half of it.
PngPicture makePicture(int32_t width, int32_t height, int32_t colourType, PictureKind kind,
                       uint32_t seed, int32_t paletteSize = 256, bool withTransparency = false);

// Filter choice per row: 0 to 4 the same for every row; FILTERS_CYCLE takes
// them in turn; FILTERS_RANDOM picks per row from seed.
constexpr int32_t FILTERS_CYCLE = -1;
constexpr int32_t FILTERS_RANDOM = -2;
// Per row, the filter whose output has the least sum of absolute values (as
// libpng's encoder chooses).
constexpr int32_t FILTERS_ADAPTIVE = -3;
// The scanline bytes an encoder writes: each row's filter byte, then the
// row filtered with it.
Bytes filterScanlines(const PngPicture& picture, int32_t filterChoice, uint32_t seed);

struct DeflateSettings {
    int level = 6;
    int strategy = Z_DEFAULT_STRATEGY;
    int windowBits = 15;
    int memLevel = 8;
    size_t flushEvery = 0;  // input bytes between flushes; 0: none
    int flushMode = Z_NO_FLUSH;
};
Bytes zlibCompress(const uint8_t* data, size_t size, const DeflateSettings& settings);

// One chunk: length, type, data, CRC.
void appendChunk(Bytes& file, const char* type, const Bytes& data);
Bytes headerData(int32_t width, int32_t height, int bitDepth, int colourType, int interlace = 0);
// Signature, IHDR, PLTE and tRNS when the picture has them, the stream in
// IDAT chunks of idatChunkSize bytes (0: one chunk), IEND.
Bytes makePngFile(const PngPicture& picture, const Bytes& stream, size_t idatChunkSize = 0);
Bytes signatureBytes();

// The whole picture as the show's reader should give it: RGBA, bottom row
// first, alpha 0 for grey and RGB, palette alpha 255 unless tRNS.
Bytes expectedPixels(const PngPicture& picture);
