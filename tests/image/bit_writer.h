// Hand-made deflate streams for the image tests: fields least significant bit
// first, Huffman codes most significant bit first, as RFC 1951 packs them.
#pragma once

#include <cstdint>
#include <vector>

struct BitWriter {
    std::vector<uint8_t> bytes;  // starts with a zlib header
    int bitCount = 0;            // bits used in the last byte, 0 to 7

    BitWriter()
    {
        bytes.push_back(0x78);
        bytes.push_back(0x01);
    }

    void field(uint32_t value, int n)
    {
        for (int i = 0; i < n; ++i) {
            if (bitCount == 0)
                bytes.push_back(0);
            bytes.back() |= static_cast<uint8_t>(((value >> i) & 1) << bitCount);
            bitCount = (bitCount + 1) & 7;
        }
    }
    void code(uint32_t value, int n)
    {
        for (int i = n - 1; i >= 0; --i)
            field((value >> i) & 1, 1);
    }
    void alignByte()
    {
        bitCount = 0;
    }
    void blockHeader(bool final, int type)
    {
        field(final ? 1 : 0, 1);
        field(static_cast<uint32_t>(type), 2);
    }
    // Fixed literal/length code of RFC 1951, 3.2.6.
    void fixedSymbol(int s)
    {
        if (s < 144)
            code(0x30 + s, 8);
        else if (s < 256)
            code(0x190 + s - 144, 9);
        else if (s < 280)
            code(s - 256, 7);
        else
            code(0xC0 + s - 280, 8);
    }
    void fixedDistance(int d)
    {
        code(static_cast<uint32_t>(d), 5);
    }
    void storedBlock(bool final, const std::vector<uint8_t>& data, uint16_t nlenXor = 0xFFFF)
    {
        blockHeader(final, 0);
        alignByte();
        const uint16_t len = static_cast<uint16_t>(data.size());
        field(len, 16);
        field(static_cast<uint16_t>(len ^ nlenXor), 16);
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
};

// Canonical codes of a list of lengths (RFC 1951, 3.2.2), for writing
// dynamic blocks.
inline std::vector<uint32_t> canonicalCodes(const std::vector<int>& lengths)
{
    int count[16] = {};
    for (int l : lengths)
        count[l] += 1;
    count[0] = 0;
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (int bits = 1; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t i = 0; i < lengths.size(); ++i) {
        if (lengths[i] != 0)
            codes[i] = next[lengths[i]]++;
    }
    return codes;
}

// A dynamic block header. The code-length code gives each of the 19 symbols
// the length in codeLengthLengths; the literal/length and distance lengths
// are then written as the symbols in lengthSymbols (each with its extra
// field, for 16 to 18), so that tests can write any sequence, valid or not.
struct LengthSymbol {
    int symbol;
    uint32_t extra = 0;
};
inline void dynamicHeader(BitWriter& w, bool final, int hlit, int hdist,
                          const std::vector<int>& codeLengthLengths,
                          const std::vector<LengthSymbol>& lengthSymbols)
{
    static const int ORDER[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.blockHeader(final, 2);
    w.field(static_cast<uint32_t>(hlit - 257), 5);
    w.field(static_cast<uint32_t>(hdist - 1), 5);
    w.field(19 - 4, 4);
    for (int i = 0; i < 19; ++i)
        w.field(static_cast<uint32_t>(codeLengthLengths[ORDER[i]]), 3);
    const std::vector<uint32_t> codes = canonicalCodes(codeLengthLengths);
    for (const LengthSymbol& s : lengthSymbols) {
        w.code(codes[s.symbol], codeLengthLengths[s.symbol]);
        if (s.symbol == 16)
            w.field(s.extra, 2);
        if (s.symbol == 17)
            w.field(s.extra, 3);
        if (s.symbol == 18)
            w.field(s.extra, 7);
    }
}

// The code-length symbols that write lengths as they are (no repeats).
inline std::vector<LengthSymbol> plainLengths(const std::vector<int>& lengths)
{
    std::vector<LengthSymbol> out;
    for (int l : lengths)
        out.push_back({l});
    return out;
}
// A code-length code in which symbols 0 to 15 have 4-bit codes and 16 to 18
// none: complete, and any length can be written.
inline std::vector<int> flatCodeLengthCode()
{
    std::vector<int> l(19, 0);
    for (int i = 0; i < 16; ++i)
        l[i] = 4;
    return l;
}
