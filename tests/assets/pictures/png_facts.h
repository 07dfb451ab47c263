// What the picture tests learn from a PNG file: its chunks (walked here),
// its deflate blocks (block boundaries found by zlib, headers read here)
// and its pixels (decoded by libpng).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PngFacts {
    bool signatureOk = false;         // the 8 signature bytes match
    bool crcsOk = false;              // every chunk's CRC matches its type and data
    bool endsWithIend = false;        // the last chunk is IEND and nothing follows it
    std::vector<std::string> chunks;  // chunk types in file order
    uint32_t width = 0, height = 0;   // from IHDR
    int bitDepth = -1, colourType = -1, compression = -1, filterMethod = -1, interlace = -1;
    int idatCount = 0;              // IDAT chunks in the file
    bool idatConsecutive = false;   // all IDAT chunks follow one another directly
    std::vector<uint8_t> zlibData;  // the IDAT payloads joined
    bool inflateOk = false;         // zlibData inflates completely with a valid checksum
    std::vector<uint8_t>
        scanlines;  // the inflated data: a filter byte, then the filtered row, per row
    std::vector<int>
        blockTypes;         // BTYPE of each deflate block in order (0 stored, 1 fixed, 2 dynamic)
    bool pixelsOk = false;  // libpng decoded the picture
    std::vector<uint8_t> rgb;  // width * height * 3 bytes, the file's first row first
};

std::vector<uint8_t> readWholeFile(const std::string& path);

// Everything above for the PNG file at path (empty facts when unreadable).
PngFacts examinePng(const std::string& path);

// The filter type bytes of the scanlines (one per row, rowBytes + 1 apart).
std::vector<int> filterTypes(const PngFacts& facts);
