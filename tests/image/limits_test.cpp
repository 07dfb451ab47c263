// Files that reach each limit a corrupt or hostile PNG can pass: every one
// must fail with its own code (and, in the sanitizer build, without a stray
// access).
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/image/bit_writer.h"
#include "tests/image/inflate_helpers.h"
#include "tests/image/png_maker.h"

using Errors = std::vector<int32_t>;

static Errors decodeErrors(const Bytes& file)
{
    Image* image = decodePng(file.data(), static_cast<int32_t>(file.size()));
    const Errors errors = errorList();
    EXPECT_EQ(image == nullptr, !errors.empty());
    free(image);
    return errors;
}

// A grey w by h picture whose IDAT holds stream.
static Bytes greyFile(int32_t w, int32_t h, const Bytes& stream)
{
    Bytes file = signatureBytes();
    appendChunk(file, "IHDR", headerData(w, h, 8, 0));
    appendChunk(file, "IDAT", stream);
    appendChunk(file, "IEND", {});
    return file;
}

static Bytes compressed(const Bytes& raw, DeflateSettings s = {})
{
    return zlibCompress(raw.data(), raw.size(), s);
}

// Raw rows of a grey w by h picture, filter None.
static Bytes greyRows(int32_t w, int32_t h)
{
    Bytes raw;
    for (int32_t r = 0; r < h; ++r) {
        raw.push_back(0);
        for (int32_t x = 0; x < w; ++x)
            raw.push_back(static_cast<uint8_t>(x * 7 + r));
    }
    return raw;
}

// ------------------------------------------------------------ the inflated stream

TEST(LimitsInflate, OutputBeyondTheRowsIsRefused)
{
    Bytes raw = greyRows(4, 4);
    raw.insert(raw.end(), 3, 9);  // 3 bytes too many
    EXPECT_EQ(decodeErrors(greyFile(4, 4, compressed(raw))), Errors{PNG_ERR_OUTPUT_OVERFLOW});
    // a match that runs past the end, and a stored block too long for the rows
    BitWriter w;
    w.blockHeader(true, 1);
    w.fixedSymbol(0);
    w.fixedSymbol(285);
    w.fixedDistance(0);
    w.fixedSymbol(256);
    EXPECT_EQ(decodeErrors(greyFile(4, 4, w.bytes)), Errors{PNG_ERR_OUTPUT_OVERFLOW});
    BitWriter stored;
    stored.storedBlock(true, Bytes(21, 0));
    EXPECT_EQ(decodeErrors(greyFile(4, 4, stored.bytes)), Errors{PNG_ERR_OUTPUT_OVERFLOW});
}

TEST(LimitsInflate, DistanceBeforeTheStartIsRefused)
{
    BitWriter w;
    w.blockHeader(true, 1);
    w.fixedSymbol(0);
    w.fixedSymbol(0);
    w.fixedSymbol(257);  // length 3
    w.fixedDistance(2);  // distance 3, two bytes written
    w.fixedSymbol(256);
    EXPECT_EQ(decodeErrors(greyFile(4, 4, w.bytes)), Errors{PNG_ERR_DISTANCE});
}

TEST(LimitsInflate, LengthSymbols286And287AreRefused)
{
    for (int symbol : {286, 287}) {
        BitWriter w;
        w.blockHeader(true, 1);
        w.fixedSymbol(0);
        w.fixedSymbol(symbol);
        w.fixedDistance(0);
        w.fixedSymbol(256);
        EXPECT_EQ(runInflate(w.bytes, 100).errors, Errors{PNG_ERR_LENGTH_SYMBOL}) << symbol;
    }
}

TEST(LimitsInflate, DistanceSymbols30And31AreRefused)
{
    for (int symbol : {30, 31}) {
        BitWriter w;
        w.blockHeader(true, 1);
        w.fixedSymbol(0);
        w.fixedSymbol(257);
        w.fixedDistance(symbol);
        w.fixedSymbol(256);
        EXPECT_EQ(decodeErrors(greyFile(4, 4, w.bytes)), Errors{PNG_ERR_DISTANCE_SYMBOL}) << symbol;
    }
}

TEST(LimitsInflate, UncoveredLiteralAndDistanceCodesAreRefused)
{
    // Incomplete codes: 'a' and end-of-block take codes 0 and 10; 11 leads
    // nowhere. One distance code, of 1 bit.
    std::vector<int> literal(257, 0);
    literal['a'] = 1;
    literal[256] = 2;
    BitWriter w;
    dynamicHeader(w, true, 257, 1, flatCodeLengthCode(), plainLengths(literal));
    w.code(canonicalCodes(flatCodeLengthCode())[1], 4);  // distance 0: 1 bit
    w.code(0, 1);                                        // 'a'
    w.code(3, 2);                                        // 11: no code
    EXPECT_EQ(runInflate(w.bytes, 100).errors, Errors{PNG_ERR_LENGTH_SYMBOL});

    std::vector<int> withLength(258, 0);
    withLength['a'] = 1;
    withLength[256] = 2;
    withLength[257] = 2;
    BitWriter d;
    dynamicHeader(d, true, 258, 2, flatCodeLengthCode(), plainLengths(withLength));
    d.code(canonicalCodes(flatCodeLengthCode())[1], 4);  // distance 0: code 0
    d.code(canonicalCodes(flatCodeLengthCode())[0], 4);  // distance 1: none; code 1 leads nowhere
    d.code(0, 1);                                        // 'a'
    d.code(3, 2);                                        // length 3
    d.code(1, 1);                                        // no distance code
    EXPECT_EQ(runInflate(d.bytes, 100).errors, Errors{PNG_ERR_DISTANCE_SYMBOL});
}

TEST(LimitsInflate, RepeatWithNoPreviousLengthIsRefused)
{
    // Code-length code: 1 to 15 in 4 bits, 0 and 16 in 5 bits (complete).
    std::vector<int> codeLengths(19, 0);
    for (int i = 1; i < 16; ++i)
        codeLengths[i] = 4;
    codeLengths[0] = 5;
    codeLengths[16] = 5;
    BitWriter w;
    dynamicHeader(w, true, 257, 1, codeLengths, {{16, 0}, {0}});
    EXPECT_EQ(runInflate(w.bytes, 100).errors, Errors{PNG_ERR_REPEAT_NO_PREVIOUS});
    // The distance lengths start afresh: a repeat at their start has nothing
    // to repeat. Literal code: 0 to 255 in 9 bits, 256 in 1 bit.
    std::vector<LengthSymbol> lengths = plainLengths(std::vector<int>(256, 9));
    lengths.push_back({1});
    lengths.push_back({16, 0});
    BitWriter d;
    dynamicHeader(d, true, 257, 3, codeLengths, lengths);
    EXPECT_EQ(runInflate(d.bytes, 100).errors, Errors{PNG_ERR_REPEAT_NO_PREVIOUS});
}

TEST(LimitsInflate, CodeLengthSymbolWithNoCodeIsRefused)
{
    std::vector<int> codeLengths(19, 0);
    codeLengths[0] = 2;
    codeLengths[8] = 2;  // codes 00 and 01; 1x leads nowhere
    BitWriter w;
    dynamicHeader(w, true, 257, 1, codeLengths, {{0}, {8}});
    w.code(3, 2);
    EXPECT_EQ(runInflate(w.bytes, 100).errors, Errors{PNG_ERR_CODE_LENGTH_SYMBOL});
}

TEST(LimitsInflate, EndOfInputWhileTheStreamNeedsBits)
{
    Bytes raw;
    uint32_t state = 5;
    for (int i = 0; i < 51 * 50; ++i) {
        state = state * 1103515245 + 12345;
        raw.push_back(i % 51 == 0 ? 0 : static_cast<uint8_t>(state >> 24));
    }
    const Bytes stream = compressed(raw, {9});
    ASSERT_GT(stream.size(), 1000u);
    // cut inside the deflate data: the zeros after the end are not data
    for (size_t keep : {size_t{0}, size_t{2}, size_t{3}, stream.size() / 2, stream.size() - 5}) {
        EXPECT_EQ(decodeErrors(greyFile(
                      50, 50, Bytes(stream.begin(), stream.begin() + static_cast<long>(keep)))),
                  Errors{PNG_ERR_INPUT_END})
            << keep;
    }
    // the file ends at an IDAT boundary: without the CRC, without the next
    // chunk's header, inside it
    Bytes file = signatureBytes();
    appendChunk(file, "IHDR", headerData(50, 50, 8, 0));
    appendChunk(file, "IDAT", Bytes(stream.begin(), stream.begin() + 40));
    Bytes partialNext = file;
    partialNext.insert(partialNext.end(), {0, 0, 0, 16, 'I', 'D'});
    for (const Bytes& truncated : {Bytes(file.begin(), file.end() - 4), file, partialNext}) {
        EXPECT_EQ(decodeErrors(truncated), Errors{PNG_ERR_INPUT_END}) << truncated.size();
    }
    // a bare stream that ends early
    EXPECT_EQ(runInflate(Bytes(stream.begin(), stream.begin() + 30), raw.size()).errors,
              Errors{PNG_ERR_INPUT_END});
}

TEST(LimitsInflate, StreamShorterThanTheImage)
{
    Bytes raw = greyRows(6, 6);
    raw.resize(raw.size() - 1);
    EXPECT_EQ(decodeErrors(greyFile(6, 6, compressed(raw))), Errors{PNG_ERR_DATA_SHORT});
    EXPECT_EQ(decodeErrors(greyFile(6, 6, compressed({}))), Errors{PNG_ERR_DATA_SHORT});
}

TEST(LimitsInflate, AllZeroDataEndsWithoutHanging)
{
    // Past the header, zeros read as stored blocks of LEN 0 NLEN 0.
    EXPECT_EQ(decodeErrors(greyFile(8, 8, Bytes(64, 0))), Errors{PNG_ERR_STORED_LENGTH});
    EXPECT_EQ(decodeErrors(greyFile(8, 8, {0x78, 0x01})), Errors{PNG_ERR_INPUT_END});
}

// ------------------------------------------------------------ the chunk walk

TEST(LimitsChunks, PaletteAndTransparencySizes)
{
    auto paletteFile = [](const Bytes& plte, const Bytes& trns) {
        Bytes file = signatureBytes();
        appendChunk(file, "IHDR", headerData(1, 1, 8, 3));
        appendChunk(file, "PLTE", plte);
        if (!trns.empty())
            appendChunk(file, "tRNS", trns);
        appendChunk(file, "IDAT", zlibCompress(Bytes{0, 0}.data(), 2, {}));
        appendChunk(file, "IEND", {});
        return file;
    };
    EXPECT_EQ(decodeErrors(paletteFile(Bytes(3 * 257, 1), {})), Errors{PNG_ERR_PALETTE_SIZE});
    EXPECT_EQ(decodeErrors(paletteFile(Bytes(7, 1), {})), Errors{PNG_ERR_PALETTE_LENGTH});
    EXPECT_EQ(decodeErrors(paletteFile(Bytes(6, 1), Bytes(257, 1))),
              Errors{PNG_ERR_TRANSPARENCY_SIZE});
    EXPECT_EQ(decodeErrors(paletteFile(Bytes(3 * 256, 1), Bytes(256, 1))), Errors{});
}

TEST(LimitsChunks, PaletteImageWithoutPlte)
{
    Bytes file = signatureBytes();
    appendChunk(file, "IHDR", headerData(1, 1, 8, 3));
    appendChunk(file, "IDAT", zlibCompress(Bytes{0, 0}.data(), 2, {}));
    appendChunk(file, "IEND", {});
    EXPECT_EQ(decodeErrors(file), Errors{PNG_ERR_NO_PALETTE});
}

TEST(LimitsChunks, Sizes)
{
    const Bytes tiny = compressed(greyRows(1, 1));
    EXPECT_EQ(decodeErrors(greyFile(0, 1, tiny)), Errors{PNG_ERR_SIZE});
    EXPECT_EQ(decodeErrors(greyFile(1, 0, tiny)), Errors{PNG_ERR_SIZE});
    EXPECT_EQ(decodeErrors(greyFile(PNG_MAX_SIDE + 1, 1, tiny)), Errors{PNG_ERR_SIZE});
    EXPECT_EQ(decodeErrors(greyFile(1, -5, tiny)), Errors{PNG_ERR_SIZE});
    EXPECT_EQ(decodeErrors(greyFile(0x7FFFFFFF, 0x7FFFFFFF, tiny)), Errors{PNG_ERR_SIZE});
    // Within the sides, but far more than the file's bytes could inflate to.
    EXPECT_EQ(decodeErrors(greyFile(PNG_MAX_SIDE, PNG_MAX_SIDE, tiny)),
              Errors{PNG_ERR_SIZE_FOR_INPUT});
}

TEST(LimitsChunks, ChunkLengthBeyondTheFile)
{
    Bytes file = signatureBytes();
    appendChunk(file, "IHDR", headerData(1, 1, 8, 0));
    const Bytes good = file;
    appendChunk(file, "teXt", {1, 2, 3});
    file[good.size() + 0] = 0xFF;  // its length: 0xFF000003
    EXPECT_EQ(decodeErrors(file), Errors{PNG_ERR_CHUNK_LENGTH});
    Bytes idat = good;
    appendChunk(idat, "IDAT", compressed(greyRows(1, 1)));
    idat[good.size() + 3] += 20;
    EXPECT_EQ(decodeErrors(idat), Errors{PNG_ERR_CHUNK_LENGTH});
    // the second IDAT chunk of the image data claims more than is left
    Bytes split = good;
    const Bytes stream = compressed(greyRows(1, 1));
    appendChunk(split, "IDAT", Bytes(stream.begin(), stream.begin() + 3));
    const size_t second = split.size();
    appendChunk(split, "IDAT", Bytes(stream.begin() + 3, stream.end()));
    split[second + 2] = 0x10;
    EXPECT_EQ(decodeErrors(split)[0], PNG_ERR_CHUNK_LENGTH);
}

TEST(LimitsChunks, WalkWithoutHeaderOrImageData)
{
    Bytes file = signatureBytes();
    appendChunk(file, "IEND", {});
    EXPECT_EQ(decodeErrors(file), Errors{PNG_ERR_NO_HEADER});
    EXPECT_EQ(decodeErrors(signatureBytes()), Errors{PNG_ERR_NO_HEADER});
    Bytes noData = signatureBytes();
    appendChunk(noData, "IHDR", headerData(1, 1, 8, 0));
    appendChunk(noData, "IEND", {});
    EXPECT_EQ(decodeErrors(noData), Errors{PNG_ERR_NO_IMAGE_DATA});
    Bytes before = signatureBytes();
    appendChunk(before, "IDAT", compressed(greyRows(1, 1)));
    appendChunk(before, "IHDR", headerData(1, 1, 8, 0));
    appendChunk(before, "IEND", {});
    EXPECT_EQ(decodeErrors(before), Errors{PNG_ERR_DATA_BEFORE_HEADER});
}

TEST(LimitsChunks, HeaderShapes)
{
    const Bytes data = compressed(greyRows(1, 1));
    for (int depth : {1, 2, 4}) {
        Bytes file = signatureBytes();
        appendChunk(file, "IHDR", headerData(1, 1, depth, 0));
        appendChunk(file, "IDAT", data);
        EXPECT_EQ(decodeErrors(file), Errors{PNG_ERR_BIT_DEPTH}) << depth;
    }
    for (int type : {1, 5, 7, 255}) {
        Bytes file = signatureBytes();
        appendChunk(file, "IHDR", headerData(1, 1, 8, type));
        appendChunk(file, "IDAT", data);
        EXPECT_EQ(decodeErrors(file), Errors{PNG_ERR_COLOUR_TYPE}) << type;
    }
    Bytes shortHeader = signatureBytes();
    Bytes h = headerData(1, 1, 8, 0);
    h.pop_back();
    appendChunk(shortHeader, "IHDR", h);
    appendChunk(shortHeader, "IDAT", data);
    EXPECT_EQ(decodeErrors(shortHeader), Errors{PNG_ERR_HEADER_LENGTH});
    Bytes twice = signatureBytes();
    appendChunk(twice, "IHDR", headerData(1, 1, 8, 0));
    appendChunk(twice, "IHDR", headerData(2, 2, 8, 0));
    appendChunk(twice, "IDAT", data);
    EXPECT_EQ(decodeErrors(twice), Errors{PNG_ERR_DUPLICATE_HEADER});
}

TEST(LimitsChunks, TheErrorListHoldsAtMost64Codes)
{
    // Every failed test adds a code; the list stops at its size.
    for (int i = 0; i < 70; ++i)
        addPngError(PNG_ERR_HEADER);
    EXPECT_EQ(pngErrorCount, PNG_MAX_ERRORS);
}
