// Inflate and whole-PNG decode throughput, ours against the usual libraries,
// on the seven embedded pictures and on a generated large corpus (1024 by
// 1024, photo-like and flat, RGB and RGBA, 56 MB of raw rows). Ends with
// one line per comparison (throughputs by CPU time, so that other work on
// a shared machine counts less):
//   RATIO <ours>/<reference> <corpus> <our throughput / theirs>
// With --once NAME CORPUS it runs one decoder once over one corpus and
// prints nothing else: for instruction counts under callgrind
// (--toggle-collect=measuredRun). With --quick, the seven pictures alone,
// each decoder for about 0.05 s: the same table and the pictures' RATIO lines.
#include <benchmark/benchmark.h>

#include <libdeflate.h>
#include <png.h>
#include <spng.h>
#include <zlib.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#include <stb_image.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <string>

#include "assets/assets.h"
#include "bench/quick.h"
#include "image/inflate.h"
#include "image/png.h"
#include "image/png_state.h"
#include "tests/image/png_maker.h"

namespace {

struct Entry {
    Bytes file;       // the PNG
    Bytes stream;     // its IDAT data, concatenated: one zlib stream
    size_t rawSize;   // inflated bytes
    size_t rgbaSize;  // decoded RGBA bytes
};
struct Corpus {
    std::string name;
    std::vector<Entry> entries;
    size_t rawBytes = 0;
    size_t rgbaBytes = 0;
};

}  // namespace

static uint32_t big32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

static Entry entryOf(Bytes file)
{
    Entry e;
    e.file = std::move(file);
    uint32_t w = 0, h = 0, bpp = 0;
    for (size_t at = 8; at + 12 <= e.file.size();) {
        const uint32_t length = big32(&e.file[at]);
        const uint8_t* type = &e.file[at + 4];
        const uint8_t* data = type + 4;
        if (memcmp(type, "IHDR", 4) == 0) {
            w = big32(data);
            h = big32(data + 4);
            bpp = static_cast<uint32_t>(samplesPerPixel(data[9]));
        }
        if (memcmp(type, "IDAT", 4) == 0)
            e.stream.insert(e.stream.end(), data, data + length);
        at += 12 + length;
    }
    e.rawSize = (size_t{w} * bpp + 1) * h;
    e.rgbaSize = size_t{w} * h * 4;
    return e;
}

static void countBytes(Corpus& c)
{
    for (const Entry& e : c.entries) {
        c.rawBytes += e.rawSize;
        c.rgbaBytes += e.rgbaSize;
    }
}

static Corpus picturesCorpus()
{
    Corpus c;
    c.name = "pictures";
    const std::pair<const unsigned char*, uint32_t> assets[] = {
        {assetCheckerPng, assetCheckerPngSize},     {assetFlarePng, assetFlarePngSize},
        {assetLogoPng, assetLogoPngSize},           {assetBackdropPng, assetBackdropPngSize},
        {assetGreetingsPng, assetGreetingsPngSize}, {assetCreditsPng, assetCreditsPngSize},
        {assetPhotoPng, assetPhotoPngSize}};
    for (const auto& [data, size] : assets)
        c.entries.push_back(entryOf(Bytes(data, data + size)));
    return c;
}

static Corpus largeCorpus()
{
    Corpus c;
    c.name = "large";
    uint32_t seed = 1;
    for (int round = 0; round < 4; ++round) {
        for (PictureKind kind : {PictureKind::Photo, PictureKind::Flat}) {
            for (int32_t type : {2, 6}) {
                const PngPicture p = makePicture(1024, 1024, type, kind, seed++);
                const Bytes rows = filterScanlines(p, FILTERS_ADAPTIVE, seed);
                const Bytes stream = zlibCompress(rows.data(), rows.size(), {6});
                c.entries.push_back(entryOf(makePngFile(p, stream, 65536)));
            }
        }
    }
    return c;
}

// ------------------------------------------------------------ the decoders
// Each decodes one entry into out (at least rawSize / rgbaSize bytes) and
// returns false on failure.

static bool oursInflate(const Entry& e, uint8_t* out)
{
    startByteSource(e.stream.data(), static_cast<int32_t>(e.stream.size()));
    prepareCodeTables();
    const size_t n = inflateStream(out, e.rawSize);
    releaseCodeTables();
    return n == e.rawSize && pngErrorCount == 0;
}

static bool zlibInflate(const Entry& e, uint8_t* out)
{
    uLongf n = static_cast<uLongf>(e.rawSize);
    return uncompress(out, &n, e.stream.data(), static_cast<uLong>(e.stream.size())) == Z_OK &&
           n == e.rawSize;
}

static libdeflate_decompressor* deflater;
static bool libdeflateInflate(const Entry& e, uint8_t* out)
{
    size_t n = 0;
    return libdeflate_zlib_decompress(deflater, e.stream.data(), e.stream.size(), out, e.rawSize,
                                      &n) == LIBDEFLATE_SUCCESS &&
           n == e.rawSize;
}

static bool stbInflate(const Entry& e, uint8_t* out)
{
    return stbi_zlib_decode_buffer(reinterpret_cast<char*>(out), static_cast<int>(e.rawSize),
                                   reinterpret_cast<const char*>(e.stream.data()),
                                   static_cast<int>(e.stream.size())) ==
           static_cast<int>(e.rawSize);
}

static bool oursDecode(const Entry& e, uint8_t* out)
{
    Image* image = decodePng(e.file.data(), static_cast<int32_t>(e.file.size()));
    if (image == nullptr)
        return false;
    out[0] = imagePixels(image)[0];
    free(image);
    return true;
}

static bool libpngDecode(const Entry& e, uint8_t* out)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, e.file.data(), e.file.size()) == 0)
        return false;
    image.format = PNG_FORMAT_RGBA;
    const bool ok = png_image_finish_read(&image, nullptr, out, 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

static bool spngDecode(const Entry& e, uint8_t* out)
{
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_crc_action(ctx, SPNG_CRC_USE, SPNG_CRC_USE);  // like ours: CRCs not compared
    spng_set_png_buffer(ctx, e.file.data(), e.file.size());
    const bool ok = spng_decode_image(ctx, out, e.rgbaSize, SPNG_FMT_RGBA8, 0) == 0;
    spng_ctx_free(ctx);
    return ok;
}

static bool stbDecode(const Entry& e, uint8_t* out)
{
    int w, h, n;
    stbi_uc* pixels =
        stbi_load_from_memory(e.file.data(), static_cast<int>(e.file.size()), &w, &h, &n, 4);
    if (pixels == nullptr)
        return false;
    out[0] = pixels[0];
    stbi_image_free(pixels);
    return true;
}

namespace {

struct Decoder {
    const char* name;
    bool (*run)(const Entry&, uint8_t*);
    bool inflate;  // measures inflated bytes; else RGBA bytes
};

}  // namespace

static const Decoder DECODERS[] = {
    {"ours-inflate", oursInflate, true},
    {"zlib", zlibInflate, true},
    {"libdeflate", libdeflateInflate, true},
    {"stb-inflate", stbInflate, true},
    {"ours-decode", oursDecode, false},
    {"libpng", libpngDecode, false},
    {"spng", spngDecode, false},
    {"stb_image", stbDecode, false},
};

static Bytes outBuffer;

static bool runCorpus(const Decoder& d, const Corpus& c)
{
    for (const Entry& e : c.entries) {
        if (!d.run(e, outBuffer.data()))
            return false;
    }
    return true;
}

// The one call that callgrind counts.
extern "C" __attribute__((noinline)) bool measuredRun(const Decoder* d, const Corpus* c)
{
    return runCorpus(*d, *c);
}

static std::map<std::string, double> throughput;  // "decoder corpus" -> bytes a second

namespace {

// The console table without colour codes, so that the RATIO lines printed
// after it start their own lines for a reader that filters on them.
class RecordingReporter : public benchmark::ConsoleReporter {
  public:
    RecordingReporter() : ConsoleReporter(OO_Tabular)
    {}
    std::map<std::string, size_t> bytesPerIteration;
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.run_name.function_name;
            if (run.run_type != Run::RT_Iteration || bytesPerIteration.count(name) == 0)
                continue;
            throughput[name] = static_cast<double>(bytesPerIteration[name]) *
                               static_cast<double>(run.iterations) / run.cpu_accumulated_time;
        }
    }
};

}  // namespace

int main(int argc, char** argv)
{
    deflater = libdeflate_alloc_decompressor();
    if (argc == 4 && strcmp(argv[1], "--once") == 0) {
        Corpus c = strcmp(argv[3], "large") == 0 ? largeCorpus() : picturesCorpus();
        countBytes(c);
        outBuffer.resize(8 << 20);
        for (const Decoder& d : DECODERS) {
            if (strcmp(d.name, argv[2]) == 0) {
                const bool ok = measuredRun(&d, &c);
                printf("%s %s: %zu raw bytes, %zu RGBA bytes, %s\n", d.name, c.name.c_str(),
                       c.rawBytes, c.rgbaBytes, ok ? "ok" : "FAILED");
                return ok ? 0 : 1;
            }
        }
        return 2;
    }
    const bool quick = takeQuickFlag(&argc, argv);
    initializeBenchmarks(&argc, argv, quick, nullptr);
    // The large corpus takes seconds to generate; the quick mode leaves it out.
    static std::vector<Corpus> corpora;
    corpora.push_back(picturesCorpus());
    if (!quick)
        corpora.push_back(largeCorpus());
    RecordingReporter reporter;
    for (Corpus& c : corpora) {
        countBytes(c);
        printf(
            "corpus %s: %zu pictures, %zu compressed bytes, %zu raw bytes\n", c.name.c_str(),
            c.entries.size(),
            [&] {
                size_t n = 0;
                for (const Entry& e : c.entries)
                    n += e.stream.size();
                return n;
            }(),
            c.rawBytes);
    }
    outBuffer.resize(8 << 20);
    for (const Corpus& c : corpora) {
        for (const Decoder& d : DECODERS) {
            const std::string name = std::string(d.name) + "/" + c.name;
            const size_t bytes = d.inflate ? c.rawBytes : c.rgbaBytes;
            reporter.bytesPerIteration[name] = bytes;
            benchmark::RegisterBenchmark(name.c_str(), [&d, &c, bytes](benchmark::State& state) {
                for (auto _ : state) {
                    if (!runCorpus(d, c)) {
                        state.SkipWithError("decode failed");
                        break;
                    }
                }
                state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
            })->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::cout.flush();  // the table goes through std::cout, the RATIO lines through stdio
    const std::pair<const char*, const char*> comparisons[] = {
        {"ours-inflate", "zlib"},  {"ours-inflate", "libdeflate"}, {"ours-inflate", "stb-inflate"},
        {"ours-decode", "libpng"}, {"ours-decode", "spng"},        {"ours-decode", "stb_image"}};
    for (const Corpus& c : corpora) {
        for (const auto& [ours, theirs] : comparisons) {
            const std::string a = std::string(ours) + "/" + c.name,
                              b = std::string(theirs) + "/" + c.name;
            if (throughput.count(a) && throughput.count(b)) {
                printf("RATIO %s/%s %s %.3f\n", ours, theirs, c.name.c_str(),
                       throughput[a] / throughput[b]);
            }
        }
    }
    benchmark::Shutdown();
    libdeflate_free_decompressor(deflater);
    return 0;
}
