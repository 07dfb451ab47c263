// Independent readers for the picture tests: a chunk walker, a deflate block
// header reader on top of zlib's block-by-block inflate, and libpng for the
// pixels.
#include "png_facts.h"

#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>

std::vector<uint8_t> readWholeFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(in);
    return bytes;
}

static uint32_t bigEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

static void walkChunks(const std::vector<uint8_t>& file, PngFacts& facts)
{
    static const uint8_t SIGNATURE[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (file.size() < 8 || std::memcmp(file.data(), SIGNATURE, 8) != 0)
        return;
    facts.signatureOk = true;
    facts.crcsOk = true;
    size_t at = 8;
    int lastIdatIndex = -1;
    bool idatRunBroken = false;
    while (at + 12 <= file.size()) {
        uint32_t length = bigEndian32(&file[at]);
        if (length > file.size() - at - 12) {
            facts.crcsOk = false;
            return;
        }
        std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
        const uint8_t* data = &file[at + 8];
        uint32_t storedCrc = bigEndian32(data + length);
        if (uint32_t(crc32(0, &file[at + 4], uInt(length + 4))) != storedCrc)
            facts.crcsOk = false;
        int index = int(facts.chunks.size());
        facts.chunks.push_back(type);
        if (type == "IHDR" && length == 13) {
            facts.width = bigEndian32(data);
            facts.height = bigEndian32(data + 4);
            facts.bitDepth = data[8];
            facts.colourType = data[9];
            facts.compression = data[10];
            facts.filterMethod = data[11];
            facts.interlace = data[12];
        }
        if (type == "IDAT") {
            if (lastIdatIndex >= 0 && lastIdatIndex != index - 1)
                idatRunBroken = true;
            lastIdatIndex = index;
            ++facts.idatCount;
            facts.zlibData.insert(facts.zlibData.end(), data, data + length);
        }
        at += 12 + size_t(length);
        if (type == "IEND") {
            facts.endsWithIend = at == file.size();
            break;
        }
    }
    facts.idatConsecutive = facts.idatCount > 0 && !idatRunBroken;
}

namespace {

// Reads bits of a deflate stream, least significant bit of each byte first.
struct BitReader {
    const uint8_t* data;
    size_t size;
    size_t byte;
    int bit;
};

}  // namespace

static int readBit(BitReader& reader)
{
    if (reader.byte >= reader.size)
        return -1;
    int value = (reader.data[reader.byte] >> reader.bit) & 1;
    if (++reader.bit == 8) {
        reader.bit = 0;
        ++reader.byte;
    }
    return value;
}

// Inflates the zlib stream with Z_BLOCK, which returns at every block
// boundary; there the next block's 3 header bits (BFINAL, then BTYPE) are
// read directly from the stream, starting after the bits zlib left unused.
static void inflateByBlocks(PngFacts& facts)
{
    const std::vector<uint8_t>& in = facts.zlibData;
    if (in.empty())
        return;
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (inflateInit(&stream) != Z_OK)
        return;
    size_t expected = size_t(facts.width) * 3 + 1;
    expected *= facts.height;
    facts.scanlines.assign(expected + 1024, 0);
    stream.next_in = const_cast<Bytef*>(in.data());
    stream.avail_in = uInt(in.size());
    stream.next_out = facts.scanlines.data();
    stream.avail_out = uInt(facts.scanlines.size());
    int result = Z_OK;
    while (result == Z_OK) {
        result = inflate(&stream, Z_BLOCK);
        if (result != Z_OK)
            break;
        bool atBoundary = (stream.data_type & 128) != 0;
        bool pastLastBlock = (stream.data_type & 64) != 0;
        if (!atBoundary || pastLastBlock)
            continue;
        int unusedBits = stream.data_type & 7;
        size_t consumed = size_t(stream.next_in - in.data());
        BitReader reader = {in.data(), in.size(), unusedBits ? consumed - 1 : consumed,
                            unusedBits ? 8 - unusedBits : 0};
        readBit(reader);  // BFINAL
        int low = readBit(reader), high = readBit(reader);
        if (low < 0 || high < 0)
            break;
        facts.blockTypes.push_back(low | high << 1);
    }
    facts.inflateOk = result == Z_STREAM_END && stream.avail_in == 0;
    facts.scanlines.resize(stream.total_out);
    inflateEnd(&stream);
}

namespace {

struct MemoryInput {
    const uint8_t* data;
    size_t size;
    size_t at;
};

}  // namespace

static void readFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    MemoryInput* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
    if (length > input->size - input->at)
        png_error(png, "read past the end");
    std::memcpy(out, input->data + input->at, length);
    input->at += length;
}

// libpng's own decode, with no transformation asked for: the file's bytes.
static void decodeWithLibpng(const std::vector<uint8_t>& file, PngFacts& facts)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return;
    }
    MemoryInput input = {file.data(), file.size(), 0};
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        facts.rgb.clear();
        png_destroy_read_struct(&png, &info, nullptr);
        return;
    }
    png_set_read_fn(png, &input, readFromMemory);
    png_read_info(png, info);
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB || png_get_bit_depth(png, info) != 8 ||
        png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) {
        png_destroy_read_struct(&png, &info, nullptr);
        return;
    }
    size_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    facts.rgb.assign(width * height * 3, 0);
    for (size_t y = 0; y < height; ++y)
        rows.push_back(&facts.rgb[y * width * 3]);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    facts.pixelsOk = true;
}

PngFacts examinePng(const std::string& path)
{
    PngFacts facts;
    std::vector<uint8_t> file = readWholeFile(path);
    walkChunks(file, facts);
    if (!facts.signatureOk)
        return facts;
    inflateByBlocks(facts);
    decodeWithLibpng(file, facts);
    return facts;
}

std::vector<int> filterTypes(const PngFacts& facts)
{
    std::vector<int> types;
    size_t stride = size_t(facts.width) * 3 + 1;
    for (size_t at = 0; stride > 1 && at + stride <= facts.scanlines.size(); at += stride)
        types.push_back(facts.scanlines[at]);
    return types;
}
