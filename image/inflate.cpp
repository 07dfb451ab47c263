// Inflate (RFC 1950 wrapper, RFC 1951 data) for the PNG reader. A 32-bit bit
// window refilled a whole byte at a time, Huffman codes decoded through
// 256-entry tables (one read, or two for codes above 8 bits), output written
// straight into the caller's buffer. The zlib header is skipped unread and the
// Adler-32 trailer is not compared.
#include "image/inflate.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "image/png_state.h"

// ---------------------------------------------------------------- state
// Main thread, valid during one image decode.
CodeTable* codeTables[CODE_SLOTS];  // owned heap tables, null where none
int32_t nextFreeSlot;               // slot index
int32_t firstDynamicSlot;           // slot index
static int32_t prefixSlot[256];     // second-level slot per 8-bit prefix of the
                                    // table being built, -1 where none
static uint32_t bitBuffer;          // bit 0 is the next stream bit
static int32_t bitsUsed;            // bits taken since the window was full, 0 to 7
static uint8_t* outStart;           // first byte of the output
static uint8_t* outPos;             // next byte to write
static uint8_t* outEnd;             // one past the last byte that may be written

// ---------------------------------------------------------------- constants
static const uint16_t LENGTH_BASE[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                         15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                         67, 83, 99, 115, 131, 163, 195, 227, 258};
static const uint8_t LENGTH_EXTRA[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                         2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
static const uint16_t DIST_BASE[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
static const uint8_t DIST_EXTRA[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                       6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
static const uint8_t CODE_LENGTH_ORDER[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                              11, 4,  12, 3, 13, 2, 14, 1, 15};
static const uint32_t BIT_MASK[17] = {0,   1,    3,    7,    15,   31,    63,    127,  255,
                                      511, 1023, 2047, 4095, 8191, 16383, 32767, 65535};

constexpr int32_t SLOT_FIXED_DISTANCE = 0;
constexpr int32_t SLOT_FIXED_LITERAL = 1;
constexpr int32_t SLOT_DISTANCE = 2;
constexpr int32_t SLOT_LITERAL = 3;
constexpr int32_t SLOT_CODE_LENGTH = 4;
constexpr int32_t FIRST_SECOND_LEVEL_SLOT = 5;
constexpr CodeEntry NO_CODE = {0xFFFF, 0};  // in fresh tables: beyond every alphabet

// What a fresh table holds: NO_CODE everywhere.
static const CodeTable EMPTY_TABLE = [] {
    CodeTable table{};
    for (CodeEntry& e : table.entries) {
        e = NO_CODE;
    }
    return table;
}();

// The 8 bits of each byte in reverse order.
static const auto BYTE_REVERSED = [] {
    struct {
        uint8_t bits[256];
    } table{};
    for (uint32_t b = 0; b < 256; ++b) {
        for (uint32_t i = 0; i < 8; ++i) {
            table.bits[b] |= static_cast<uint8_t>(((b >> i) & 1) << (7 - i));
        }
    }
    return table;
}();

static bool failed()
{
    return pngErrorCount > 0;
}

// ---------------------------------------------------------------- bit window

// Takes n bits (0 to 16) off the window and refills it with whole bytes.
static void dropBits(int32_t n)
{
    bitsUsed += n;
    bitBuffer >>= n;
    while (bitsUsed >= 8) {
        bitBuffer |= static_cast<uint32_t>(nextByte()) << (32 - bitsUsed);
        bitsUsed -= 8;
    }
}

static uint32_t readBits(int32_t n)
{
    uint32_t value = bitBuffer & BIT_MASK[n];
    dropBits(n);
    return value;
}

static void primeWindow()
{
    bitBuffer = 0;
    for (int32_t i = 0; i < 4; ++i) {
        bitBuffer |= static_cast<uint32_t>(nextByte()) << (8 * i);
    }
    bitsUsed = 0;
    dropBits(16);  // CMF and FLG, not examined
}

// Discards the rest of a partly used byte; leaves a full window.
static void alignToByte()
{
    if (bitsUsed > 0) {
        bitBuffer = (static_cast<uint32_t>(nextByte()) << 24) | (bitBuffer >> (8 - bitsUsed));
        bitsUsed = 0;
    }
}

// True once the stream has taken bits from the zeros that the byte source
// yields past the end of the image data: those are not data.
static bool inputOverrun()
{
    return static_cast<int64_t>(pngMissingBytes) * 8 > 32 - bitsUsed;
}

// A fault found in the stream. If the stream has already run into the zeros
// past the end of its data, the missing input is the fault to report.
static void addStreamError(int32_t code)
{
    addPngError(inputOverrun() ? PNG_ERR_INPUT_END : code);
}

static int32_t decodeSymbol(int32_t slot)
{
    CodeEntry e = codeTables[slot]->entries[bitBuffer & 255];
    if (e.length == SUBTABLE_MARK) {
        e = codeTables[e.symbol]->entries[(bitBuffer >> 8) & 255];
    }
    dropBits(e.length);
    return e.symbol;
}

// ---------------------------------------------------------------- code tables

static CodeTable* newTable()
{
    CodeTable* table = static_cast<CodeTable*>(malloc(sizeof(CodeTable)));
    if (table == nullptr) {
        addPngError(PNG_ERR_MEMORY);
        return nullptr;
    }
    memcpy(table, &EMPTY_TABLE, sizeof(CodeTable));
    return table;
}

// Canonical codes of RFC 1951, numbered most significant bit first.
static void assignCanonicalCodes(const uint8_t* lengths, uint32_t* codes, int32_t maxBits,
                                 int32_t count)
{
    uint32_t lengthCount[16] = {};
    uint32_t first[16] = {};
    for (int32_t i = 0; i < count; ++i) {
        lengthCount[lengths[i]] += 1;
    }
    lengthCount[0] = 0;
    uint32_t code = 0;
    for (int32_t length = 1; length < maxBits && length < 16; ++length) {
        if (lengthCount[length] >= 1) {
            first[length] = code;
            code += lengthCount[length];
        }
        code <<= 1;
    }
    for (int32_t i = 0; i < count; ++i) {
        codes[i] = first[lengths[i]];
        first[lengths[i]] += 1;
    }
}

static void insertCode(int32_t slot, uint32_t code, int32_t length, int32_t symbol)
{
    const uint32_t low16 = code & 0xFFFF;
    const uint32_t r = ((static_cast<uint32_t>(BYTE_REVERSED.bits[low16 & 255]) << 8) |
                        BYTE_REVERSED.bits[low16 >> 8]) >>
                       (16 - length);
    const CodeEntry entry = {static_cast<uint16_t>(symbol), static_cast<uint8_t>(length)};
    if (length <= 8) {
        for (uint32_t i = r; i < 256; i += 1u << length) {
            codeTables[slot]->entries[i] = entry;
        }
        return;
    }
    const uint32_t p = r & 255;
    if (prefixSlot[p] < 0) {
        if (nextFreeSlot >= CODE_SLOTS) {
            addPngError(PNG_ERR_TABLE_SLOTS);
            return;
        }
        if (codeTables[nextFreeSlot] == nullptr) {
            codeTables[nextFreeSlot] = newTable();
            if (codeTables[nextFreeSlot] == nullptr) {
                return;
            }
        }
        prefixSlot[p] = nextFreeSlot;
        nextFreeSlot += 1;
    }
    codeTables[slot]->entries[p] = {static_cast<uint16_t>(prefixSlot[p]), SUBTABLE_MARK};
    CodeTable* second = codeTables[prefixSlot[p]];
    for (uint32_t i = r >> 8; i < 256; i += 1u << (length - 8)) {
        second->entries[i] = entry;
    }
}

// Entries that no code covers keep what they held; a table is never cleared.
static void buildCodeTable(int32_t slot, const uint8_t* lengths, int32_t count)
{
    uint32_t codes[320];
    assert(count <= 320);
    assignCanonicalCodes(lengths, codes, 16, count);
    for (int32_t& s : prefixSlot) {
        s = -1;
    }
    for (int32_t i = 0; i < count && !failed(); ++i) {
        if (lengths[i] > 0) {
            insertCode(slot, codes[i], lengths[i], i);
        }
    }
}

void prepareCodeTables()
{
    for (CodeTable*& table : codeTables) {
        table = nullptr;
    }
    for (int32_t slot = 0; slot < FIRST_SECOND_LEVEL_SLOT; ++slot) {
        codeTables[slot] = newTable();
    }
    nextFreeSlot = FIRST_SECOND_LEVEL_SLOT;
    if (!failed()) {
        uint8_t lengths[288];
        for (int32_t i = 0; i < 288; ++i) {
            lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
        }
        buildCodeTable(SLOT_FIXED_LITERAL, lengths, 288);
        for (int32_t i = 0; i < 32; ++i) {
            lengths[i] = 5;
        }
        buildCodeTable(SLOT_FIXED_DISTANCE, lengths, 32);
    }
    firstDynamicSlot = nextFreeSlot;
}

void releaseCodeTables()
{
    for (CodeTable*& table : codeTables) {
        free(table);
        table = nullptr;
    }
}

// ---------------------------------------------------------------- dynamic header

// Reads count code lengths with the code-length code and builds them into slot.
static void readCodeLengths(int32_t slot, int32_t count)
{
    uint8_t lengths[1024] = {};
    int32_t b = 0;
    while (b < count && !failed()) {
        const int32_t k = decodeSymbol(SLOT_CODE_LENGTH);
        if (k <= 15) {
            lengths[b] = static_cast<uint8_t>(k);
            b += 1;
        } else if (k == 16) {
            if (b == 0) {
                addStreamError(PNG_ERR_REPEAT_NO_PREVIOUS);
                return;
            }
            const int32_t n = static_cast<int32_t>(readBits(2)) + 3;
            memset(lengths + b, lengths[b - 1], n);
            b += n;
        } else if (k == 17) {
            b += static_cast<int32_t>(readBits(3)) + 3;  // zeros already there
        } else if (k == 18) {
            b += static_cast<int32_t>(readBits(7)) + 11;
        } else {
            addStreamError(PNG_ERR_CODE_LENGTH_SYMBOL);
            return;
        }
    }
    if (!failed()) {
        buildCodeTable(slot, lengths, count);
    }
}

static void readDynamicTables()
{
    nextFreeSlot = firstDynamicSlot;
    const int32_t hlit = static_cast<int32_t>(readBits(5)) + 257;
    const int32_t hdist = static_cast<int32_t>(readBits(5)) + 1;
    const int32_t hclen = static_cast<int32_t>(readBits(4)) + 4;
    uint8_t lengths[19] = {};
    for (int32_t i = 0; i < hclen; ++i) {
        lengths[CODE_LENGTH_ORDER[i]] = static_cast<uint8_t>(readBits(3));
    }
    buildCodeTable(SLOT_CODE_LENGTH, lengths, 19);
    readCodeLengths(SLOT_LITERAL, hlit);
    readCodeLengths(SLOT_DISTANCE, hdist);
}

// ---------------------------------------------------------------- blocks

// Stored block: LEN bytes pass through the window as 8-bit fields.
static void copyStoredBlock()
{
    alignToByte();
    const uint32_t len = readBits(16);
    const uint32_t nlen = readBits(16);
    if (len != (nlen ^ 65535)) {
        addStreamError(PNG_ERR_STORED_LENGTH);
        return;
    }
    if (len > static_cast<size_t>(outEnd - outPos)) {
        addStreamError(PNG_ERR_OUTPUT_OVERFLOW);
        return;
    }
    for (uint32_t i = 0; i < len; ++i) {
        *outPos++ = static_cast<uint8_t>(readBits(8));
    }
}

static inline uint32_t loadLittle32(const uint8_t* p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;  // the show builds for little-endian machines only
}

// Symbols of one Huffman block until end-of-block or an error. The window,
// the byte position and the output position live in locals here: the output
// stores may alias any global, and this is the loop every pixel goes through.
// It is dropBits/decodeSymbol of above, with one shortcut: with 4 bytes left
// in the chunk, one 32-bit load fills every whole byte the window lacks (its
// bits above the window are those of the next byte, which the next refill ORs
// in again unchanged).
static void decodeHuffmanBlock(int32_t literalSlot, int32_t distanceSlot)
{
    uint32_t buf = bitBuffer;
    int32_t used = bitsUsed;
    const uint8_t* pos = inputPos;
    const uint8_t* limit = byteLimit;
    uint8_t* out = outPos;
    uint8_t* const start = outStart;
    uint8_t* const end = outEnd;
    const CodeEntry* const literals = codeTables[literalSlot]->entries;
    const CodeEntry* const distances = codeTables[distanceSlot]->entries;

    auto refill = [&]() {
        if (limit - pos >= 4) {
            // used may be below 8: then no byte is taken, only looked ahead at.
            buf |= static_cast<uint32_t>(static_cast<uint64_t>(loadLittle32(pos)) << (32 - used));
            pos += used >> 3;
            used &= 7;
            return;
        }
        while (used >= 8) {
            int32_t b;
            if (pos < limit) {
                b = *pos++;
            } else {
                inputPos = pos;
                b = nextByteAtLimit();
                pos = inputPos;
                limit = byteLimit;
            }
            buf |= static_cast<uint32_t>(b) << (32 - used);
            used -= 8;
        }
    };
    auto fail = [&](int32_t code) {
        bitBuffer = buf;
        bitsUsed = used;
        inputPos = pos;
        addStreamError(code);
    };
    auto decode = [&](const CodeEntry* table) {
        CodeEntry e = table[buf & 255];
        if (e.length == SUBTABLE_MARK) {
            e = codeTables[e.symbol]->entries[(buf >> 8) & 255];
        }
        buf >>= e.length;
        used += e.length;
        return static_cast<uint32_t>(e.symbol);
    };

    for (;;) {
        const uint32_t s = decode(literals);
        refill();
        if (s < 256) {
            if (out == end) {
                fail(PNG_ERR_OUTPUT_OVERFLOW);
                break;
            }
            *out++ = static_cast<uint8_t>(s);
            continue;
        }
        if (s == 256) {
            break;
        }
        if (s > 285) {
            fail(PNG_ERR_LENGTH_SYMBOL);
            break;
        }
        const uint32_t i = s - 257;
        // Up to 25 bits in the window: length extra (5) and distance code (15) fit.
        const uint32_t length = LENGTH_BASE[i] + (buf & BIT_MASK[LENGTH_EXTRA[i]]);
        buf >>= LENGTH_EXTRA[i];
        used += LENGTH_EXTRA[i];
        const uint32_t d = decode(distances);
        refill();
        if (d > 29) {
            fail(PNG_ERR_DISTANCE_SYMBOL);
            break;
        }
        const uint32_t distance = DIST_BASE[d] + (buf & BIT_MASK[DIST_EXTRA[d]]);
        buf >>= DIST_EXTRA[d];
        used += DIST_EXTRA[d];
        refill();
        if (length > static_cast<size_t>(end - out)) {
            fail(PNG_ERR_OUTPUT_OVERFLOW);
            break;
        }
        if (distance > static_cast<size_t>(out - start)) {
            fail(PNG_ERR_DISTANCE);
            break;
        }
        const uint8_t* from = out - distance;
        uint8_t* const target = out + length;
        if (end - target >= 16) {
            // Room past the copy: whole 8- or 16-byte moves may run up to 15
            // bytes beyond it, into output that later symbols overwrite.
            if (distance >= 16) {
                do {
                    memcpy(out, from, 16);
                    out += 16;
                    from += 16;
                } while (out < target);
            } else if (distance == 1) {
                const uint64_t run = 0x0101010101010101ull * *from;
                do {
                    memcpy(out, &run, 8);
                    out += 8;
                } while (out < target);
            } else {
                // Distances 2 to 15: the output repeats with period distance,
                // so after the first step bytes it equals itself step back,
                // step being a multiple of distance of at least 8.
                const uint32_t step =
                    distance >= 8 ? distance : distance * ((7 + distance) / distance);
                const uint32_t head = distance >= 8 ? 0 : step < length ? step : length;
                for (uint32_t k = 0; k < head; ++k) {
                    out[k] = from[k];
                }
                out += head;
                from = out - step;
                while (out < target) {
                    memcpy(out, from, 8);
                    out += 8;
                    from += 8;
                }
            }
            out = target;
        } else {
            for (uint32_t k = 0; k < length; ++k) {
                out[k] = from[k];
            }
            out = target;
        }
    }

    bitBuffer = buf;
    bitsUsed = used;
    inputPos = pos;
    outPos = out;
}

size_t inflateStream(uint8_t* out, size_t outSize)
{
    outStart = out;
    outPos = out;
    outEnd = out + outSize;
    primeWindow();
    for (;;) {
        const uint32_t final = readBits(1);
        const uint32_t type = readBits(2);
        if (inputOverrun()) {
            addPngError(PNG_ERR_INPUT_END);
            break;
        }
        if (type == 0) {
            copyStoredBlock();
        } else if (type == 1) {
            decodeHuffmanBlock(SLOT_FIXED_LITERAL, SLOT_FIXED_DISTANCE);
        } else if (type == 2) {
            readDynamicTables();
            if (!failed()) {
                decodeHuffmanBlock(SLOT_LITERAL, SLOT_DISTANCE);
            }
        }
        // type 3: an empty block, no error
        if (!failed() && inputOverrun()) {
            addPngError(PNG_ERR_INPUT_END);
        }
        if (final == 1 || failed()) {
            break;
        }
    }
    return static_cast<size_t>(outPos - outStart);
}
