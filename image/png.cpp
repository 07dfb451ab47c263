// The PNG reader: one walk over the chunks, the image data inflated in place
// from its IDAT chunks into the scanline buffer, the filters undone, then the
// pixels assembled bottom row first.
#include "image/png.h"
#include "image/png_state.h"

#include <cstdlib>

#include "image/filters.h"
#include "image/inflate.h"

// ---------------------------------------------------------------- state
// Main thread; one decode at a time.
const uint8_t* inputPos;            // next byte to read
const uint8_t* byteLimit;           // inputPos advances freely up to here:
                                    // chunkEnd during the image data, else inputEnd
static const uint8_t* inputEnd;     // end of the input block
static const uint8_t* chunkEnd;     // end of the current IDAT chunk's data while
                                    // the image data is inflated, else null
int32_t pngMissingBytes;            // zeros yielded past the end, bytes
static bool pngDone;                // ends the chunk walk
static bool headerSeen;             // an IHDR was read in this decode
static bool paletteSeen;            // a PLTE was read in this decode
static bool imageDataSeen;          // an IDAT was reached in this decode
int32_t pngErrors[PNG_MAX_ERRORS];  // codes, in the order raised
int32_t pngErrorCount;              // codes held
int32_t pngWidth, pngHeight;        // pixels, from IHDR
int32_t pngBitDepth;                // bits per sample, from IHDR
int32_t pngColourType;              // from IHDR
int32_t pngBytesPerPixel;           // bytes, from the colour type
uint8_t* scanlineBuffer;            // inflated rows, null outside a decode
uint32_t pngPalette[256];           // lives for the whole run; never cleared

constexpr uint32_t CHUNK_IHDR = 0x49484452;
constexpr uint32_t CHUNK_PLTE = 0x504C5445;
constexpr uint32_t CHUNK_TRNS = 0x74524E53;
constexpr uint32_t CHUNK_IDAT = 0x49444154;
constexpr uint32_t CHUNK_IEND = 0x49454E44;
constexpr uint8_t SIGNATURE[8] = {137, 80, 78, 71, 13, 10, 26, 10};
// Deflate's best ratio: a 258-byte match costs at least 2 bits (RFC 1951).
constexpr int64_t DEFLATE_MAX_RATIO = 1032;

void addPngError(int32_t code)
{
    if (pngErrorCount < PNG_MAX_ERRORS) {
        pngErrors[pngErrorCount] = code;
        pngErrorCount += 1;
    }
}

static uint32_t bigEndian32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// ---------------------------------------------------------------- byte source

// At byteLimit: at the end of an IDAT chunk, steps over its CRC and the next
// chunk's length and type to that chunk's data (empty IDAT chunks are stepped
// over too); the image data ends at a chunk that is not IDAT. At the end of
// the input or of the image data: sets pngDone and yields 0, counted as
// missing.
int32_t nextByteAtLimit()
{
    while (chunkEnd != nullptr && inputPos == chunkEnd) {
        if (inputEnd - inputPos < 12 || bigEndian32(inputPos + 8) != CHUNK_IDAT) {
            chunkEnd = nullptr;
            byteLimit = inputPos;
            break;
        }
        const uint32_t length = bigEndian32(inputPos + 4);
        inputPos += 12;
        if (length > static_cast<uint64_t>(inputEnd - inputPos)) {
            addPngError(PNG_ERR_CHUNK_LENGTH);
            chunkEnd = nullptr;
            byteLimit = inputPos;
            break;
        }
        chunkEnd = inputPos + length;
        byteLimit = chunkEnd;
        if (inputPos < byteLimit) {
            return *inputPos++;
        }
    }
    if (inputPos < byteLimit) {
        return *inputPos++;
    }
    pngDone = true;
    pngMissingBytes += pngMissingBytes < INT32_MAX ? 1 : 0;
    return 0;
}

static void startInput(const uint8_t* data, int32_t length)
{
    inputPos = data;
    inputEnd = data + (length > 0 ? length : 0);
    byteLimit = inputEnd;
    chunkEnd = nullptr;
    pngMissingBytes = 0;
    pngDone = false;
}

void startByteSource(const uint8_t* data, int32_t length)
{
    startInput(data, length);
    pngErrorCount = 0;
}

static uint32_t nextWord32()
{
    uint32_t value = 0;
    for (int32_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<uint32_t>(nextByte());
    }
    return value;
}

static void skipBytes(uint32_t n)
{
    // The caller has checked that n bytes are left.
    inputPos += n;
}

// ---------------------------------------------------------------- chunks

static void readHeaderChunk(uint32_t length)
{
    if (headerSeen) {
        addPngError(PNG_ERR_DUPLICATE_HEADER);
        return;
    }
    headerSeen = true;
    if (length != 13) {
        addPngError(PNG_ERR_HEADER_LENGTH);
        return;
    }
    pngWidth = static_cast<int32_t>(nextWord32());
    pngHeight = static_cast<int32_t>(nextWord32());
    if (pngWidth <= 0 || pngHeight <= 0 || pngWidth > PNG_MAX_SIDE || pngHeight > PNG_MAX_SIDE) {
        addPngError(PNG_ERR_SIZE);
    }
    pngBitDepth = nextByte();
    if (pngBitDepth > 8) {
        addPngError(PNG_ERR_HEADER);
    } else if (pngBitDepth < 8) {
        addPngError(PNG_ERR_BIT_DEPTH);
    }
    pngColourType = nextByte();
    switch (pngColourType) {
    case 0: pngBytesPerPixel = 1; break;
    case 2: pngBytesPerPixel = 3; break;
    case 3: pngBytesPerPixel = 1; break;
    case 4: pngBytesPerPixel = 2; break;
    case 6: pngBytesPerPixel = 4; break;
    default: addPngError(PNG_ERR_COLOUR_TYPE); break;
    }
    for (int32_t i = 0; i < 3; ++i) {  // compression, filter, interlace method
        if (nextByte() != 0) {
            addPngError(PNG_ERR_HEADER);
        }
    }
    scanlineBuffer = nullptr;
    if (pngErrorCount > 0) {
        return;
    }
    // The sides are at most PNG_MAX_SIDE, so this cannot overflow 64 bits.
    const int64_t stride = static_cast<int64_t>(pngBytesPerPixel) * pngWidth + 1;
    const int64_t imageBytes = stride * pngHeight;
    // 4 bytes for the CRC; every further byte could be image data.
    const int64_t bytesLeft = inputEnd - inputPos;
    if (imageBytes > bytesLeft * DEFLATE_MAX_RATIO) {
        addPngError(PNG_ERR_SIZE_FOR_INPUT);
        return;
    }
    scanlineBuffer = static_cast<uint8_t*>(malloc(static_cast<size_t>(stride * (pngHeight + 1))));
    if (scanlineBuffer == nullptr) {
        addPngError(PNG_ERR_MEMORY);
    }
}

static void readPaletteChunk(uint32_t length)
{
    if (length % 3 != 0) {
        addPngError(PNG_ERR_PALETTE_LENGTH);
        return;
    }
    if (length / 3 > 256) {
        addPngError(PNG_ERR_PALETTE_SIZE);
        return;
    }
    for (uint32_t i = 0; i < length / 3; ++i) {
        const uint32_t r = static_cast<uint32_t>(nextByte());
        const uint32_t g = static_cast<uint32_t>(nextByte());
        const uint32_t b = static_cast<uint32_t>(nextByte());
        pngPalette[i] = r | (g << 8) | (b << 16) | (255u << 24);
    }
    paletteSeen = true;
}

// Alpha bytes of palette entries, whatever the colour type: grey and RGB
// transparency keys are not applied.
static void readTransparencyChunk(uint32_t length)
{
    if (length > 256) {
        addPngError(PNG_ERR_TRANSPARENCY_SIZE);
        return;
    }
    for (uint32_t i = 0; i < length; ++i) {
        const uint32_t a = static_cast<uint32_t>(nextByte());
        pngPalette[i] = (pngPalette[i] & 0x00FFFFFFu) | (a << 24);
    }
}

// At the first IDAT chunk: inflates every IDAT chunk that follows directly,
// then undoes the filters.
static void readImageData(uint32_t length)
{
    imageDataSeen = true;
    if (!headerSeen) {
        addPngError(PNG_ERR_DATA_BEFORE_HEADER);
        return;
    }
    if (pngColourType == 3 && !paletteSeen) {
        addPngError(PNG_ERR_NO_PALETTE);
        return;
    }
    const size_t imageBytes = (static_cast<size_t>(pngBytesPerPixel) * pngWidth + 1) * pngHeight;
    chunkEnd = inputPos + length;
    byteLimit = chunkEnd;
    const size_t written = inflateStream(scanlineBuffer, imageBytes);
    chunkEnd = nullptr;
    byteLimit = inputEnd;
    if (pngErrorCount == 0 && written < imageBytes) {
        addPngError(PNG_ERR_DATA_SHORT);
    }
    if (pngErrorCount == 0) {
        reconstructScanlines();
    }
}

// ---------------------------------------------------------------- pixels

static Image* assemblePixels()
{
    const size_t pixels = static_cast<size_t>(pngWidth) * pngHeight;
    Image* image = static_cast<Image*>(malloc(sizeof(Image) + 4 * pixels));
    if (image == nullptr) {
        addPngError(PNG_ERR_MEMORY);
        return nullptr;
    }
    image->width = pngWidth;
    image->height = pngHeight;
    const size_t stride = static_cast<size_t>(pngBytesPerPixel) * pngWidth + 1;
    uint8_t* to = imagePixels(image);
    for (int32_t r = 0; r < pngHeight; ++r) {
        const uint8_t* from = scanlineBuffer + static_cast<size_t>(pngHeight - 1 - r) * stride + 1;
        const int32_t w = pngWidth;
        switch (pngColourType) {
        case 0:
            for (int32_t x = 0; x < w; ++x, from += 1, to += 4) {
                to[0] = from[0];
                to[1] = from[0];
                to[2] = from[0];
                to[3] = 0;
            }
            break;
        case 2:
            for (int32_t x = 0; x < w; ++x, from += 3, to += 4) {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                to[3] = 0;
            }
            break;
        case 3:
            for (int32_t x = 0; x < w; ++x, from += 1, to += 4) {
                const uint32_t p = pngPalette[from[0]];
                to[0] = static_cast<uint8_t>(p);
                to[1] = static_cast<uint8_t>(p >> 8);
                to[2] = static_cast<uint8_t>(p >> 16);
                to[3] = static_cast<uint8_t>(p >> 24);
            }
            break;
        case 4:
            for (int32_t x = 0; x < w; ++x, from += 2, to += 4) {
                to[0] = from[0];
                to[1] = from[0];
                to[2] = from[0];
                to[3] = from[1];
            }
            break;
        default:  // 6; other types never reach here
            for (int32_t x = 0; x < w; ++x, from += 4, to += 4) {
                to[0] = from[0];
                to[1] = from[1];
                to[2] = from[2];
                to[3] = from[3];
            }
            break;
        }
    }
    return image;
}

static void releasePngState()
{
    free(scanlineBuffer);
    scanlineBuffer = nullptr;
    releaseCodeTables();
}

// ---------------------------------------------------------------- decode

Image* decodePng(const uint8_t* data, int32_t length)
{
    startInput(data, length);
    pngErrorCount = 0;
    headerSeen = false;
    paletteSeen = false;
    imageDataSeen = false;
    scanlineBuffer = nullptr;
    prepareCodeTables();
    Image* result = nullptr;

    bool signatureOk = true;
    for (uint8_t expected : SIGNATURE) {
        if (nextByte() != expected) {
            addPngError(PNG_ERR_SIGNATURE);
            signatureOk = false;
            break;
        }
    }
    pngDone = false;
    while (signatureOk && !pngDone && pngErrorCount == 0) {
        const uint32_t chunkLength = nextWord32();
        const uint32_t type = nextWord32();
        if (pngDone) {
            break;  // the input ended inside the chunk header
        }
        if (chunkLength > static_cast<uint64_t>(inputEnd - inputPos)) {
            addPngError(PNG_ERR_CHUNK_LENGTH);
            break;
        }
        const uint8_t* const dataEnd = inputPos + chunkLength;
        switch (type) {
        case CHUNK_IDAT:
            readImageData(chunkLength);
            pngDone = true;
            break;
        case CHUNK_IEND: pngDone = true; break;
        case CHUNK_IHDR:
            readHeaderChunk(chunkLength);
            inputPos = dataEnd;
            break;
        case CHUNK_PLTE:
            readPaletteChunk(chunkLength);
            inputPos = dataEnd;
            break;
        case CHUNK_TRNS:
            readTransparencyChunk(chunkLength);
            inputPos = dataEnd;
            break;
        default: skipBytes(chunkLength); break;
        }
        nextWord32();  // CRC, not compared
    }
    if (signatureOk && pngErrorCount == 0 && !headerSeen) {
        addPngError(PNG_ERR_NO_HEADER);
    }
    if (signatureOk && pngErrorCount == 0 && !imageDataSeen) {
        addPngError(PNG_ERR_NO_IMAGE_DATA);
    }
    if (pngErrorCount == 0) {
        result = assemblePixels();
    }
    releasePngState();
    return result;
}
