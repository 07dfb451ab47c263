// PNG writer for the asset generators. Called on the tool's main thread.
#include "tools/pngwriter/pngwriter.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// ---------------------------------------------------------------- state
int pngFilterCounts[5];  // rows per filter type in the last pngWrite, count

static const int PNG_MAX_SIDE = 4096;  // largest width or height accepted, pixels

// Fixed ancillary values: every generated file carries the same date.
static const int PNG_TIME_YEAR = 2026, PNG_TIME_MONTH = 12, PNG_TIME_DAY = 7;
static const int PNG_TIME_HOUR = 12, PNG_TIME_MINUTE = 0, PNG_TIME_SECOND = 0;
static const uint32_t PNG_PHYS_PER_METRE = 2835;  // 72 dots per inch
static const uint32_t PNG_GAMMA = 45455;          // 1/2.2 times 100000
// cHRM: white point, red, green, blue (x, y), each times 100000 (sRGB).
static const uint32_t PNG_CHROMA[8] = {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};

static void putWord32(std::vector<uint8_t>& out, uint32_t value)
{
    out.push_back(uint8_t(value >> 24));
    out.push_back(uint8_t(value >> 16));
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

// One chunk: length, type, data, CRC over type and data.
static void putChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data,
                     size_t length)
{
    putWord32(out, uint32_t(length));
    size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + length);
    uLong crc = crc32(0, out.data() + typeAt, uInt(4 + length));
    putWord32(out, uint32_t(crc));
}

static void putChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data)
{
    putChunk(out, type, data.data(), data.size());
}

// The Paeth predictor of the PNG standard.
static int paeth(int left, int above, int aboveLeft)
{
    int p = left + above - aboveLeft;
    int pa = std::abs(p - left), pb = std::abs(p - above), pc = std::abs(p - aboveLeft);
    if (pa <= pb && pa <= pc)
        return left;
    if (pb <= pc)
        return above;
    return aboveLeft;
}

// Filters one row with the given type into out (rowBytes bytes). above is
// the previous row's raw bytes, or null for the first row.
static void filterRow(int type, const uint8_t* row, const uint8_t* above, int rowBytes,
                      uint8_t* out)
{
    const int bpp = 3;
    for (int i = 0; i < rowBytes; ++i) {
        int a = i >= bpp ? row[i - bpp] : 0;
        int b = above ? above[i] : 0;
        int c = (above && i >= bpp) ? above[i - bpp] : 0;
        int predictor = 0;
        switch (type) {
        case 1: predictor = a; break;
        case 2: predictor = b; break;
        case 3: predictor = (a + b) / 2; break;
        case 4: predictor = paeth(a, b, c); break;
        default: break;
        }
        out[i] = uint8_t(row[i] - predictor);
    }
}

// Picks the filter whose output has the smallest sum of absolute values,
// bytes read as signed (the usual adaptive heuristic); ties go to the lower
// type. Writes the type byte and the filtered row to out.
static void chooseFilter(const uint8_t* row, const uint8_t* above, int rowBytes, uint8_t* out,
                         std::vector<uint8_t>& trial)
{
    long bestCost = -1;
    int bestType = 0;
    for (int type = 0; type < 5; ++type) {
        filterRow(type, row, above, rowBytes, trial.data());
        long cost = 0;
        for (int i = 0; i < rowBytes; ++i)
            cost += std::abs(int(int8_t(trial[i])));
        if (bestCost < 0 || cost < bestCost) {
            bestCost = cost;
            bestType = type;
        }
    }
    out[0] = uint8_t(bestType);
    filterRow(bestType, row, above, rowBytes, out + 1);
    ++pngFilterCounts[bestType];
}

// zlib stream of the filtered scanlines, with fixed settings so that the
// output depends on nothing but the input. With fixedLaterHalf the first
// half is compressed with dynamic codes, then the current block is closed
// (without an empty stored block) and the rest uses the fixed codes.
static bool compress(const std::vector<uint8_t>& raw, const PngSettings& settings,
                     std::vector<uint8_t>& packed)
{
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    int strategy = settings.fixedCodes ? Z_FIXED : Z_DEFAULT_STRATEGY;
    if (deflateInit2(&stream, 9, Z_DEFLATED, 15, 9, strategy) != Z_OK)
        return false;
    packed.resize(deflateBound(&stream, uLong(raw.size())) + 64);
    stream.next_in = const_cast<Bytef*>(raw.data());
    stream.next_out = packed.data();
    stream.avail_out = uInt(packed.size());
    bool ok = true;
    if (settings.fixedLaterHalf && !settings.fixedCodes) {
        stream.avail_in = uInt(raw.size() / 2);
        ok = deflate(&stream, Z_NO_FLUSH) == Z_OK && stream.avail_in == 0;
        ok = ok && deflateParams(&stream, 9, Z_FIXED) == Z_OK;
        stream.avail_in = uInt(raw.size() - raw.size() / 2);
    } else {
        stream.avail_in = uInt(raw.size());
    }
    ok = ok && deflate(&stream, Z_FINISH) == Z_STREAM_END;
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    return ok;
}

bool pngWrite(const char* path, const uint8_t* rgb, int width, int height,
              const PngSettings& settings)
{
    if (width < 1 || height < 1 || width > PNG_MAX_SIDE || height > PNG_MAX_SIDE)
        return false;
    if (settings.idatChunks < 1)
        return false;
    std::memset(pngFilterCounts, 0, sizeof pngFilterCounts);

    // Scanlines: a filter type byte, then the filtered row.
    int rowBytes = width * 3;
    std::vector<uint8_t> raw(size_t(rowBytes + 1) * size_t(height));
    std::vector<uint8_t> trial(static_cast<size_t>(rowBytes));
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = rgb + size_t(y) * size_t(rowBytes);
        const uint8_t* above = y > 0 ? row - rowBytes : nullptr;
        chooseFilter(row, above, rowBytes, raw.data() + size_t(y) * size_t(rowBytes + 1), trial);
    }
    std::vector<uint8_t> packed;
    if (!compress(raw, settings, packed))
        return false;
    if (packed.size() < size_t(settings.idatChunks))
        return false;

    std::vector<uint8_t> file = {137, 80, 78, 71, 13, 10, 26, 10};
    std::vector<uint8_t> header;
    putWord32(header, uint32_t(width));
    putWord32(header, uint32_t(height));
    header.insert(header.end(),
                  {8, 2, 0, 0, 0});  // depth 8, RGB, deflate, adaptive filters, no interlace
    putChunk(file, "IHDR", header);
    if (settings.gammaChunks) {
        std::vector<uint8_t> gamma, chroma;
        putWord32(gamma, PNG_GAMMA);
        for (uint32_t value : PNG_CHROMA)
            putWord32(chroma, value);
        putChunk(file, "gAMA", gamma);
        putChunk(file, "cHRM", chroma);
    }
    if (settings.physChunk) {
        std::vector<uint8_t> phys;
        putWord32(phys, PNG_PHYS_PER_METRE);
        putWord32(phys, PNG_PHYS_PER_METRE);
        phys.push_back(1);  // unit: metre
        putChunk(file, "pHYs", phys);
    }
    if (settings.timeChunk) {
        std::vector<uint8_t> time = {uint8_t(PNG_TIME_YEAR >> 8),
                                     uint8_t(PNG_TIME_YEAR & 255),
                                     PNG_TIME_MONTH,
                                     PNG_TIME_DAY,
                                     PNG_TIME_HOUR,
                                     PNG_TIME_MINUTE,
                                     PNG_TIME_SECOND};
        putChunk(file, "tIME", time);
    }
    // Consecutive IDAT chunks of near-equal size, none empty.
    size_t count = size_t(settings.idatChunks);
    for (size_t i = 0; i < count; ++i) {
        size_t from = packed.size() * i / count, to = packed.size() * (i + 1) / count;
        putChunk(file, "IDAT", packed.data() + from, to - from);
    }
    putChunk(file, "IEND", nullptr, 0);

    FILE* out = std::fopen(path, "wb");
    if (!out)
        return false;
    bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}
