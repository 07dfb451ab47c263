// Runs the show's inflate decoder on a bare zlib stream.
#pragma once

#include <cstdint>
#include <vector>

#include "image/inflate.h"
#include "image/png_state.h"

struct InflateResult {
    std::vector<uint8_t> out;  // the whole buffer; bytes not written keep 0xEE
    size_t written = 0;
    std::vector<int32_t> errors;
};

inline InflateResult runInflate(const std::vector<uint8_t>& stream, size_t outSize)
{
    InflateResult r;
    r.out.assign(outSize, 0xEE);
    startByteSource(stream.data(), static_cast<int32_t>(stream.size()));
    prepareCodeTables();
    r.written = inflateStream(r.out.data(), outSize);
    r.errors.assign(pngErrors, pngErrors + pngErrorCount);
    releaseCodeTables();
    return r;
}

inline std::vector<int32_t> errorList()
{
    return std::vector<int32_t>(pngErrors, pngErrors + pngErrorCount);
}
