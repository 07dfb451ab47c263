// The inflate decoder: hand-made streams for the cases RFC 1951 makes easy
// to get wrong, then the decoder against zlib on streams zlib writes with
// every strategy, level and flush pattern.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/image/bit_writer.h"
#include "tests/image/inflate_helpers.h"
#include "tests/image/png_maker.h"

using Errors = std::vector<int32_t>;

TEST(InflateStored, CopiesBytesUnchangedAndEmptyBlockIsNoError)
{
    BitWriter w;
    w.storedBlock(false, {1, 2, 3, 250, 0});
    w.storedBlock(false, {});  // LEN 0, NLEN 65535
    w.storedBlock(true, {9});
    const InflateResult r = runInflate(w.bytes, 6);
    EXPECT_EQ(r.errors, Errors{});
    EXPECT_EQ(r.written, 6u);
    EXPECT_EQ(r.out, (Bytes{1, 2, 3, 250, 0, 9}));
}

TEST(InflateStored, StartsAtTheByteAfterCompressedBits)
{
    BitWriter w;
    w.blockHeader(false, 1);
    w.fixedSymbol('x');
    w.fixedSymbol(256);  // 3 + 8 + 7 bits: the stored block starts mid-byte
    w.storedBlock(true, {7, 8});
    const InflateResult r = runInflate(w.bytes, 3);
    EXPECT_EQ(r.errors, Errors{});
    EXPECT_EQ(r.out, (Bytes{'x', 7, 8}));
}

TEST(InflateStored, WrongNlenFailsWithCode3AndCopiesNothing)
{
    BitWriter w;
    w.storedBlock(false, {5});
    w.storedBlock(false, {1, 2, 3}, 0xFFFE);
    w.storedBlock(true, {6});
    const InflateResult r = runInflate(w.bytes, 8);
    EXPECT_EQ(r.errors, Errors{PNG_ERR_STORED_LENGTH});
    EXPECT_EQ(r.written, 1u);
    EXPECT_EQ(r.out[1], 0xEE);
}

TEST(InflateFixed, Distance1Length258RepeatsTheLastByte)
{
    BitWriter w;
    w.blockHeader(true, 1);
    w.fixedSymbol('q');
    w.fixedSymbol(285);  // length 258, no extra bits
    w.fixedDistance(0);  // distance 1
    w.fixedSymbol('r');
    w.fixedSymbol(256);
    const InflateResult r = runInflate(w.bytes, 260);
    EXPECT_EQ(r.errors, Errors{});
    ASSERT_EQ(r.written, 260u);
    for (size_t i = 0; i < 259; ++i)
        ASSERT_EQ(r.out[i], 'q') << i;
    EXPECT_EQ(r.out[259], 'r');
}

TEST(InflateFixed, OverlappingCopiesRepeatThePattern)
{
    // distance 3, length 10 over "abc"; distance 9, length 20 over 9 bytes
    BitWriter w;
    w.blockHeader(true, 1);
    for (char c : std::string("abc"))
        w.fixedSymbol(c);
    w.fixedSymbol(264);  // length 10
    w.fixedDistance(2);  // distance 3
    for (char c : std::string("012345678"))
        w.fixedSymbol(c);
    w.fixedSymbol(269);  // lengths 19-22, 2 extra bits
    w.field(1, 2);       // 20
    w.fixedDistance(7);  // distances 13-16, 2 extra bits: 13
    w.field(0, 2);
    w.fixedSymbol(256);
    const InflateResult r = runInflate(w.bytes, 64);
    EXPECT_EQ(r.errors, Errors{});
    std::string expected = "abcabcabcabca012345678";
    for (int i = 0; i < 20; ++i)
        expected += expected[expected.size() - 13];
    ASSERT_EQ(r.written, expected.size());
    EXPECT_EQ(std::string(r.out.begin(), r.out.begin() + static_cast<long>(r.written)), expected);
}

TEST(InflateBlocks, Btype3WithBfinalEndsTheStreamEmpty)
{
    BitWriter w;
    w.blockHeader(true, 3);
    w.fixedSymbol('z');  // never read
    const InflateResult r = runInflate(w.bytes, 4);
    EXPECT_EQ(r.errors, Errors{});
    EXPECT_EQ(r.written, 0u);
}

TEST(InflateBlocks, ZlibHeaderAndAdlerAreNotExamined)
{
    const Bytes data(1000, 'k');
    Bytes stream = zlibCompress(data.data(), data.size(), {});
    stream[0] = 0x00;
    stream[1] = 0xFF;
    stream[stream.size() - 1] ^= 0x5A;
    const InflateResult r = runInflate(stream, data.size());
    EXPECT_EQ(r.errors, Errors{});
    EXPECT_EQ(r.out, data);
}

TEST(InflateTables, FixedCodesTake56SecondLevelSlots)
{
    startByteSource(nullptr, 0);
    prepareCodeTables();
    EXPECT_EQ(firstDynamicSlot, 61);
    for (int slot = 0; slot < 61; ++slot)
        EXPECT_NE(codeTables[slot], nullptr) << slot;
    EXPECT_EQ(codeTables[61], nullptr);
    releaseCodeTables();
}

TEST(InflateTables, ShortDynamicCodesNeedNoSecondLevelTable)
{
    // Literals 'a' to 'o' 4 bits, end-of-block and length 3 (257) 5 bits;
    // two 1-bit distance codes: a complete code, every code at most 8 bits.
    std::vector<int> literal(258, 0);
    for (int c = 'a'; c <= 'o'; ++c)
        literal[c] = 4;
    literal[256] = 5;
    literal[257] = 5;
    const std::vector<int> distance = {1, 1};
    std::vector<int> all = literal;
    all.insert(all.end(), distance.begin(), distance.end());
    BitWriter w;
    dynamicHeader(w, true, 258, 2, flatCodeLengthCode(), plainLengths(literal));
    for (LengthSymbol s : plainLengths(distance))
        w.code(canonicalCodes(flatCodeLengthCode())[s.symbol], 4);
    const std::vector<uint32_t> lit = canonicalCodes(literal);
    for (char c : std::string("abcab"))
        w.code(lit[c], 4);
    w.code(lit[257], 5);  // length 3
    w.code(1, 1);         // distance 2
    w.code(lit[256], 5);

    startByteSource(w.bytes.data(), static_cast<int32_t>(w.bytes.size()));
    prepareCodeTables();
    Bytes out(8, 0);
    const size_t written = inflateStream(out.data(), out.size());
    EXPECT_EQ(errorList(), Errors{});
    EXPECT_EQ(nextFreeSlot, firstDynamicSlot);
    releaseCodeTables();
    ASSERT_EQ(written, 8u);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abcababa");
}

// ------------------------------------------------------------ against zlib

static Bytes zlibInflate(const Bytes& stream, size_t size)
{
    Bytes out(size);
    uLongf n = static_cast<uLongf>(size);
    EXPECT_EQ(uncompress(out.data(), &n, stream.data(), static_cast<uLong>(stream.size())), Z_OK);
    out.resize(n);
    return out;
}

// Data with the things deflate does: literal stretches, short and long
// matches at every distance, runs of one byte.
static Bytes mixedData(size_t size, uint32_t seed)
{
    Bytes out;
    uint32_t s = seed | 1;
    auto rnd = [&]() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    };
    while (out.size() < size) {
        const uint32_t kind = rnd() % 4;
        const size_t n = 1 + rnd() % 300;
        if (kind == 0 || out.size() < 2) {
            for (size_t i = 0; i < n; ++i)
                out.push_back(static_cast<uint8_t>(rnd() % 24 + 'a'));
        } else if (kind == 1) {
            out.insert(out.end(), n, static_cast<uint8_t>(rnd()));
        } else {
            const size_t distance = 1 + rnd() % (out.size() < 40000 ? out.size() : 40000);
            for (size_t i = 0; i < n; ++i)
                out.push_back(out[out.size() - distance]);
        }
    }
    out.resize(size);
    return out;
}

static std::vector<DeflateSettings> settingsToTry()
{
    std::vector<DeflateSettings> all;
    for (int level : {0, 1, 3, 6, 9})
        all.push_back({level});
    for (int strategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
        all.push_back({6, strategy});
    all.push_back({9, Z_DEFAULT_STRATEGY, 9, 1});  // small window, small blocks
    all.push_back({6, Z_DEFAULT_STRATEGY, 15, 8, 37, Z_FULL_FLUSH});
    all.push_back({6, Z_DEFAULT_STRATEGY, 15, 8, 100, Z_SYNC_FLUSH});  // empty stored blocks
    all.push_back({1, Z_FIXED, 15, 8, 13, Z_SYNC_FLUSH});
    all.push_back({0, Z_DEFAULT_STRATEGY, 15, 8, 5, Z_FULL_FLUSH});
    return all;
}

TEST(InflateAgainstZlib, EverySettingAndSize)
{
    int cases = 0;
    for (size_t size : {size_t{0}, size_t{1}, size_t{2}, size_t{100}, size_t{5000}, size_t{70000},
                        size_t{300000}}) {
        for (uint32_t seed : {1u, 2u}) {
            const Bytes data = mixedData(size, seed * 977 + static_cast<uint32_t>(size));
            for (const DeflateSettings& settings : settingsToTry()) {
                SCOPED_TRACE(testing::Message()
                             << "size " << size << " level " << settings.level << " strategy "
                             << settings.strategy << " flush " << settings.flushEvery);
                const Bytes stream = zlibCompress(data.data(), data.size(), settings);
                const Bytes reference = zlibInflate(stream, size);
                const InflateResult r = runInflate(stream, size);
                ASSERT_EQ(r.errors, Errors{});
                ASSERT_EQ(r.written, size);
                ASSERT_TRUE(r.out == reference);
                ++cases;
            }
        }
    }
    EXPECT_EQ(cases, 7 * 2 * static_cast<int>(settingsToTry().size()));
}

TEST(InflateAgainstZlib, MixedBlockTypesInOneStream)
{
    // deflateParams between pieces switches between stored, fixed and dynamic
    // blocks inside one stream.
    const Bytes data = mixedData(200000, 99);
    z_stream z;
    memset(&z, 0, sizeof z);
    ASSERT_EQ(deflateInit(&z, 6), Z_OK);
    Bytes stream(deflateBound(&z, data.size()) + 4096);
    z.next_out = stream.data();
    z.avail_out = static_cast<uInt>(stream.size());
    const int levels[] = {0, 9, 1, 6, 0};
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FIXED, Z_DEFAULT_STRATEGY, Z_HUFFMAN_ONLY,
                              Z_DEFAULT_STRATEGY};
    for (int piece = 0; piece < 5; ++piece) {
        ASSERT_EQ(deflateParams(&z, levels[piece], strategies[piece]), Z_OK);
        z.next_in = const_cast<uint8_t*>(data.data() + piece * 40000);
        z.avail_in = 40000;
        ASSERT_EQ(deflate(&z, piece == 4 ? Z_FINISH : Z_NO_FLUSH),
                  piece == 4 ? Z_STREAM_END : Z_OK);
    }
    stream.resize(z.total_out);
    deflateEnd(&z);
    const InflateResult r = runInflate(stream, data.size());
    EXPECT_EQ(r.errors, Errors{});
    EXPECT_TRUE(r.out == zlibInflate(stream, data.size()));
}
