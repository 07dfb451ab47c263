#include "tests/image/png_maker.h"

#include <cstdlib>
#include <cstring>

static uint32_t nextRandom(uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

static uint8_t encoderPaeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    if (pb <= pc)
        return static_cast<uint8_t>(b);
    return static_cast<uint8_t>(c);
}

static void appendBig32(Bytes& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

int32_t samplesPerPixel(int32_t colourType)
{
    switch (colourType) {
    case 0: return 1;
    case 2: return 3;
    case 3: return 1;
    case 4: return 2;
    default: return 4;
    }
}

PngPicture makePicture(int32_t width, int32_t height, int32_t colourType, PictureKind kind,
                       uint32_t seed, int32_t paletteSize, bool withTransparency)
{
    PngPicture p;
    p.width = width;
    p.height = height;
    p.colourType = colourType;
    const int32_t spp = samplesPerPixel(colourType);
    p.samples.resize(static_cast<size_t>(width) * height * spp);
    uint32_t state = seed * 2654435761u + 1;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            for (int32_t s = 0; s < spp; ++s) {
                int v;
                switch (kind) {
                case PictureKind::Photo:  // smooth waves with a little grain
                    v = 128 +
                        static_cast<int>(60.0 * __builtin_sin((x + 3 * s) * 0.031 + y * 0.017) +
                                         50.0 * __builtin_cos(y * 0.023 - x * 0.011 + s)) +
                        static_cast<int>(nextRandom(state) % 9) - 4;
                    break;
                case PictureKind::Flat:  // large flat patches
                    v = ((x / 37 + y / 23 + s) % 5) * 60;
                    break;
                default: v = static_cast<int>(nextRandom(state) & 255); break;
                }
                if (colourType == 3) {
                    v = (v < 0 ? -v : v) % paletteSize;
                }
                p.samples[(static_cast<size_t>(y) * width + x) * spp + s] = static_cast<uint8_t>(v);
            }
        }
    }
    if (colourType == 3) {
        for (int32_t i = 0; i < paletteSize; ++i) {
            p.palette.push_back(static_cast<uint8_t>(nextRandom(state)));
            p.palette.push_back(static_cast<uint8_t>(i));
            p.palette.push_back(static_cast<uint8_t>(255 - i));
        }
        if (withTransparency) {
            for (int32_t i = 0; i < (paletteSize + 1) / 2; ++i) {
                p.transparency.push_back(static_cast<uint8_t>(nextRandom(state)));
            }
        }
    }
    return p;
}

static void filterRow(const uint8_t* row, const uint8_t* up, size_t n, int32_t bpp, int32_t filter,
                      uint8_t* out)
{
    for (size_t i = 0; i < n; ++i) {
        const int x = row[i];
        const int a = i >= static_cast<size_t>(bpp) ? row[i - bpp] : 0;
        const int b = up != nullptr ? up[i] : 0;
        const int c = up != nullptr && i >= static_cast<size_t>(bpp) ? up[i - bpp] : 0;
        int predicted = 0;
        switch (filter) {
        case 1: predicted = a; break;
        case 2: predicted = b; break;
        case 3: predicted = (a + b) / 2; break;
        case 4: predicted = encoderPaeth(a, b, c); break;
        default: break;
        }
        out[i] = static_cast<uint8_t>(x - predicted);
    }
}

Bytes filterScanlines(const PngPicture& picture, int32_t filterChoice, uint32_t seed)
{
    const int32_t bpp = samplesPerPixel(picture.colourType);
    const size_t n = static_cast<size_t>(picture.width) * bpp;
    Bytes out((n + 1) * picture.height);
    Bytes trial(n);
    uint32_t state = seed + 7;
    for (int32_t y = 0; y < picture.height; ++y) {
        int32_t filter = filterChoice;
        const uint8_t* row = picture.samples.data() + n * y;
        const uint8_t* up = y > 0 ? row - n : nullptr;
        if (filterChoice == FILTERS_CYCLE)
            filter = y % 5;
        if (filterChoice == FILTERS_RANDOM)
            filter = static_cast<int32_t>(nextRandom(state) % 5);
        if (filterChoice == FILTERS_ADAPTIVE) {
            uint64_t best = UINT64_MAX;
            for (int32_t f = 0; f < 5; ++f) {
                filterRow(row, up, n, bpp, f, trial.data());
                uint64_t sum = 0;
                for (uint8_t v : trial)
                    sum += v < 128 ? v : 256 - v;
                if (sum < best) {
                    best = sum;
                    filter = f;
                }
            }
        }
        uint8_t* to = out.data() + (n + 1) * y;
        to[0] = static_cast<uint8_t>(filter);
        filterRow(row, up, n, bpp, filter, to + 1);
    }
    return out;
}

Bytes zlibCompress(const uint8_t* data, size_t size, const DeflateSettings& settings)
{
    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit2(&z, settings.level, Z_DEFLATED, settings.windowBits, settings.memLevel,
                     settings.strategy) != Z_OK) {
        abort();
    }
    Bytes out(deflateBound(&z, size) + 64 +
              (settings.flushEvery > 0 ? 16 * (size / settings.flushEvery + 1) : 0));
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    size_t offset = 0;
    for (;;) {
        size_t piece = size - offset;
        if (settings.flushEvery > 0 && piece > settings.flushEvery)
            piece = settings.flushEvery;
        z.next_in = const_cast<uint8_t*>(data + offset);
        z.avail_in = static_cast<uInt>(piece);
        offset += piece;
        const bool last = offset == size;
        const int result = deflate(&z, last ? Z_FINISH : settings.flushMode);
        if (last) {
            if (result != Z_STREAM_END)
                abort();
            break;
        }
        if (result != Z_OK || z.avail_in != 0)
            abort();
    }
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

void appendChunk(Bytes& file, const char* type, const Bytes& data)
{
    appendBig32(file, static_cast<uint32_t>(data.size()));
    const size_t typeAt = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    appendBig32(file, static_cast<uint32_t>(
                          crc32(0, file.data() + typeAt, static_cast<uInt>(data.size() + 4))));
}

Bytes headerData(int32_t width, int32_t height, int bitDepth, int colourType, int interlace)
{
    Bytes h;
    appendBig32(h, static_cast<uint32_t>(width));
    appendBig32(h, static_cast<uint32_t>(height));
    h.push_back(static_cast<uint8_t>(bitDepth));
    h.push_back(static_cast<uint8_t>(colourType));
    h.push_back(0);
    h.push_back(0);
    h.push_back(static_cast<uint8_t>(interlace));
    return h;
}

Bytes signatureBytes()
{
    return {137, 80, 78, 71, 13, 10, 26, 10};
}

Bytes makePngFile(const PngPicture& picture, const Bytes& stream, size_t idatChunkSize)
{
    Bytes file = signatureBytes();
    appendChunk(file, "IHDR", headerData(picture.width, picture.height, 8, picture.colourType));
    if (!picture.palette.empty())
        appendChunk(file, "PLTE", picture.palette);
    if (!picture.transparency.empty())
        appendChunk(file, "tRNS", picture.transparency);
    if (idatChunkSize == 0)
        idatChunkSize = stream.size() > 0 ? stream.size() : 1;
    for (size_t at = 0; at < stream.size(); at += idatChunkSize) {
        const size_t n = stream.size() - at < idatChunkSize ? stream.size() - at : idatChunkSize;
        appendChunk(file, "IDAT",
                    Bytes(stream.begin() + static_cast<ptrdiff_t>(at),
                          stream.begin() + static_cast<ptrdiff_t>(at + n)));
    }
    appendChunk(file, "IEND", {});
    return file;
}

Bytes expectedPixels(const PngPicture& picture)
{
    const int32_t spp = samplesPerPixel(picture.colourType);
    Bytes out;
    out.reserve(static_cast<size_t>(picture.width) * picture.height * 4);
    for (int32_t r = picture.height - 1; r >= 0; --r) {
        for (int32_t x = 0; x < picture.width; ++x) {
            const uint8_t* s =
                picture.samples.data() + (static_cast<size_t>(r) * picture.width + x) * spp;
            switch (picture.colourType) {
            case 0: out.insert(out.end(), {s[0], s[0], s[0], 0}); break;
            case 2: out.insert(out.end(), {s[0], s[1], s[2], 0}); break;
            case 3: {
                const uint8_t* c = picture.palette.data() + 3 * s[0];
                const uint8_t a =
                    s[0] < picture.transparency.size() ? picture.transparency[s[0]] : 255;
                out.insert(out.end(), {c[0], c[1], c[2], a});
                break;
            }
            case 4: out.insert(out.end(), {s[0], s[0], s[0], s[1]}); break;
            default: out.insert(out.end(), {s[0], s[1], s[2], s[3]}); break;
            }
        }
    }
    return out;
}
