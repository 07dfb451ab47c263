// The PNG reader: pixel assembly and its alpha rules, the chunk walk, image
// data split over IDAT chunks, the seven embedded pictures, and the reader
// against libpng on a generated corpus.
#include <gtest/gtest.h>

#include <png.h>

#include <cstdlib>
#include <memory>

#include "assets/assets.h"
#include "tests/image/inflate_helpers.h"
#include "tests/image/png_maker.h"

using Errors = std::vector<int32_t>;

namespace {

struct Decoded {
    bool ok = false;
    int32_t width = 0, height = 0;
    Bytes pixels;
    Errors errors;
};

}  // namespace

static Decoded decode(const Bytes& file)
{
    Decoded d;
    Image* image = decodePng(file.data(), static_cast<int32_t>(file.size()));
    d.errors = errorList();
    if (image != nullptr) {
        d.ok = true;
        d.width = image->width;
        d.height = image->height;
        d.pixels.assign(imagePixels(image),
                        imagePixels(image) + 4 * static_cast<size_t>(image->width) * image->height);
        free(image);
    }
    return d;
}

static Bytes filteredStream(const PngPicture& p, int32_t filters = 0, DeflateSettings settings = {})
{
    const Bytes rows = filterScanlines(p, filters, 1);
    return zlibCompress(rows.data(), rows.size(), settings);
}

static Bytes pngOf(const PngPicture& p, int32_t filters = 0, size_t idatChunkSize = 0)
{
    return makePngFile(p, filteredStream(p, filters), idatChunkSize);
}

static PngPicture picture(int32_t w, int32_t h, int32_t type, Bytes samples)
{
    PngPicture p;
    p.width = w;
    p.height = h;
    p.colourType = type;
    p.samples = std::move(samples);
    return p;
}

TEST(PngPixels, GreyAndRgbGetAlphaZero)
{
    Decoded d = decode(pngOf(picture(1, 1, 0, {128})));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (Bytes{128, 128, 128, 0}));
    d = decode(pngOf(picture(1, 1, 2, {10, 20, 30})));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (Bytes{10, 20, 30, 0}));
}

TEST(PngPixels, GreyAlphaAndRgbaKeepTheirAlpha)
{
    Decoded d = decode(pngOf(picture(1, 1, 4, {77, 9})));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (Bytes{77, 77, 77, 9}));
    d = decode(pngOf(picture(1, 1, 6, {1, 2, 3, 4})));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (Bytes{1, 2, 3, 4}));
}

TEST(PngPixels, BottomRowComesFirst)
{
    const Decoded d = decode(pngOf(picture(1, 2, 0, {10, 20})));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, 1);
    EXPECT_EQ(d.height, 2);
    EXPECT_EQ(d.pixels, (Bytes{20, 20, 20, 0, 10, 10, 10, 0}));
}

TEST(PngPalette, AlphaIs255UnlessTrnsSetsIt)
{
    PngPicture p = picture(4, 1, 3, {0, 1, 2, 3});
    p.palette = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Decoded d = decode(pngOf(p));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (Bytes{1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255, 10, 11, 12, 255}));
    p.transparency = {0, 128};
    d = decode(pngOf(p));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (Bytes{1, 2, 3, 0, 4, 5, 6, 128, 7, 8, 9, 255, 10, 11, 12, 255}));
}

TEST(PngPalette, TrnsInAnRgbImageChangesNoPixel)
{
    PngPicture p = picture(2, 1, 2, {10, 20, 30, 40, 50, 60});
    p.transparency = {0, 0, 0, 0, 0, 0};  // a grey/RGB key chunk; not applied
    const Decoded d = decode(pngOf(p));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (Bytes{10, 20, 30, 0, 40, 50, 60, 0}));
}

TEST(PngChunks, WrongCrcAndAncillaryChunksAreAccepted)
{
    const PngPicture p = makePicture(9, 7, 2, PictureKind::Noise, 3);
    const Bytes plain = pngOf(p, FILTERS_CYCLE);
    Bytes file = signatureBytes();
    appendChunk(file, "IHDR", headerData(9, 7, 8, 2));
    file[file.size() - 1] ^= 0xFF;  // IHDR's CRC
    appendChunk(file, "gAMA", {0, 0, 0xB1, 0x8F});
    appendChunk(file, "tIME", {7, 0xEA, 12, 7, 6, 0, 0});
    appendChunk(file, "zzZZ", Bytes(100, 3));
    appendChunk(file, "IDAT", filteredStream(p, FILTERS_CYCLE));
    file[file.size() - 2] ^= 0x11;  // IDAT's CRC
    appendChunk(file, "IEND", {});
    const Decoded d = decode(file);
    ASSERT_TRUE(d.ok) << testing::PrintToString(d.errors);
    EXPECT_EQ(d.pixels, decode(plain).pixels);
    EXPECT_EQ(d.pixels, expectedPixels(p));
}

TEST(PngChunks, ChangedSignatureByteGivesCode1)
{
    for (size_t i = 0; i < 8; ++i) {
        Bytes file = pngOf(picture(1, 1, 0, {1}));
        file[i] ^= 0x20;
        const Decoded d = decode(file);
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(d.errors, Errors{PNG_ERR_SIGNATURE}) << i;
    }
}

TEST(PngChunks, SixteenBitImagesGiveCode4OncePerFailedTest)
{
    Bytes file = signatureBytes();
    appendChunk(file, "IHDR", headerData(2, 2, 16, 2));
    appendChunk(file, "IDAT", Bytes(20, 0));
    appendChunk(file, "IEND", {});
    EXPECT_EQ(decode(file).errors, Errors{PNG_ERR_HEADER});
    Bytes interlaced = signatureBytes();
    appendChunk(interlaced, "IHDR", headerData(2, 2, 16, 2, 1));
    appendChunk(interlaced, "IEND", {});
    EXPECT_EQ(decode(interlaced).errors, (Errors{PNG_ERR_HEADER, PNG_ERR_HEADER}));
}

TEST(PngChunks, ChunksAfterTheImageDataAreNotRead)
{
    PngPicture p = picture(2, 1, 3, {0, 1});
    p.palette = {1, 2, 3, 4, 5, 6};
    Bytes file = signatureBytes();
    appendChunk(file, "IHDR", headerData(2, 1, 8, 3));
    appendChunk(file, "PLTE", p.palette);
    appendChunk(file, "IDAT", filteredStream(p));
    appendChunk(file, "tRNS", {0, 0});
    appendChunk(file, "IEND", {});
    const Decoded d = decode(file);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.pixels, (Bytes{1, 2, 3, 255, 4, 5, 6, 255}));
}

TEST(PngSplitData, AnySplitDecodesAsOneChunk)
{
    const PngPicture p = makePicture(31, 17, 6, PictureKind::Photo, 8);
    const Bytes stream = filteredStream(p, FILTERS_RANDOM);
    const Bytes whole = decode(makePngFile(p, stream)).pixels;
    ASSERT_EQ(whole, expectedPixels(p));
    for (size_t size : {size_t{1}, size_t{2}, size_t{3}, size_t{4}, size_t{5}, size_t{7},
                        size_t{64}, stream.size() / 2, stream.size() - 1}) {
        const Decoded d = decode(makePngFile(p, stream, size));
        ASSERT_TRUE(d.ok) << size << " " << testing::PrintToString(d.errors);
        EXPECT_EQ(d.pixels, whole) << size;
    }
}

TEST(PngSplitData, EmptyIdatChunksAreSteppedOver)
{
    const PngPicture p = makePicture(5, 5, 2, PictureKind::Noise, 2);
    const Bytes stream = filteredStream(p);
    Bytes file = signatureBytes();
    appendChunk(file, "IHDR", headerData(5, 5, 8, 2));
    appendChunk(file, "IDAT", {});
    appendChunk(file, "IDAT", Bytes(stream.begin(), stream.begin() + 10));
    appendChunk(file, "IDAT", {});
    appendChunk(file, "IDAT", {});
    appendChunk(file, "IDAT", Bytes(stream.begin() + 10, stream.end()));
    appendChunk(file, "IDAT", {});
    appendChunk(file, "IEND", {});
    const Decoded d = decode(file);
    ASSERT_TRUE(d.ok) << testing::PrintToString(d.errors);
    EXPECT_EQ(d.pixels, expectedPixels(p));
}

TEST(PngSplitData, AChunkOtherThanIdatEndsTheImageData)
{
    // A tEXt chunk between two halves: the stream ends at it, short of bits.
    const PngPicture p = makePicture(40, 40, 2, PictureKind::Noise, 4);
    const Bytes stream = filteredStream(p);
    Bytes file = signatureBytes();
    appendChunk(file, "IHDR", headerData(40, 40, 8, 2));
    appendChunk(file, "IDAT", Bytes(stream.begin(), stream.begin() + 100));
    appendChunk(file, "tEXt", {'a', 0, 'b'});
    appendChunk(file, "IDAT", Bytes(stream.begin() + 100, stream.end()));
    appendChunk(file, "IEND", {});
    const Decoded d = decode(file);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.errors, Errors{PNG_ERR_INPUT_END});
}

// ------------------------------------------------------------ the embedded pictures

TEST(PngAssets, TheSevenPicturesDecodeTo256By256WithAlphaZero)
{
    const struct {
        const char* name;
        const unsigned char* data;
        uint32_t size;
    } assets[] = {{"checker", assetCheckerPng, assetCheckerPngSize},
                  {"flare", assetFlarePng, assetFlarePngSize},
                  {"logo", assetLogoPng, assetLogoPngSize},
                  {"backdrop", assetBackdropPng, assetBackdropPngSize},
                  {"greetings", assetGreetingsPng, assetGreetingsPngSize},
                  {"credits", assetCreditsPng, assetCreditsPngSize},
                  {"photo", assetPhotoPng, assetPhotoPngSize}};
    for (const auto& asset : assets) {
        SCOPED_TRACE(asset.name);
        const Decoded d = decode(Bytes(asset.data, asset.data + asset.size));
        ASSERT_TRUE(d.ok) << testing::PrintToString(d.errors);
        EXPECT_EQ(d.width, 256);
        EXPECT_EQ(d.height, 256);
        bool alphaZero = true;
        for (size_t i = 3; i < d.pixels.size(); i += 4)
            alphaZero = alphaZero && d.pixels[i] == 0;
        EXPECT_TRUE(alphaZero);
    }
}

// ------------------------------------------------------------ against libpng

// libpng's RGBA, with the show's rule applied (grey and RGB alpha 0) and
// turned bottom row first.
static Bytes libpngPixels(const Bytes& file, int32_t colourType)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    EXPECT_NE(png_image_begin_read_from_memory(&image, file.data(), file.size()), 0)
        << image.message;
    image.format = PNG_FORMAT_RGBA;
    Bytes topFirst(PNG_IMAGE_SIZE(image));
    EXPECT_NE(png_image_finish_read(&image, nullptr, topFirst.data(), 0, nullptr), 0)
        << image.message;
    const size_t row = 4 * static_cast<size_t>(image.width);
    Bytes out;
    for (size_t r = image.height; r-- > 0;) {
        out.insert(out.end(), topFirst.begin() + static_cast<long>(r * row),
                   topFirst.begin() + static_cast<long>((r + 1) * row));
    }
    if (colourType == 0 || colourType == 2) {
        for (size_t i = 3; i < out.size(); i += 4)
            out[i] = 0;
    }
    png_image_free(&image);
    return out;
}

TEST(PngAgainstLibpng, GeneratedCorpus)
{
    const std::pair<int32_t, int32_t> sizes[] = {{1, 1},   {2, 3},   {7, 5},  {33, 17},
                                                 {64, 64}, {200, 3}, {3, 130}};
    const int32_t filterChoices[] = {0, 1, 2, 3, 4, FILTERS_CYCLE, FILTERS_RANDOM};
    std::vector<DeflateSettings> settings;
    for (int level : {0, 1, 6, 9})
        settings.push_back({level});
    for (int strategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
        settings.push_back({6, strategy});
    settings.push_back({6, Z_DEFAULT_STRATEGY, 15, 8, 29, Z_FULL_FLUSH});
    settings.push_back({9, Z_DEFAULT_STRATEGY, 15, 8, 64, Z_SYNC_FLUSH});
    const size_t chunkSizes[] = {0, 1, 3, 50, 1000};
    const PictureKind kinds[] = {PictureKind::Photo, PictureKind::Flat, PictureKind::Noise};
    int index = 0;
    int covered[4] = {};  // stored, fixed-only, flushed, split cases
    for (int32_t type : {0, 2, 3, 4, 6}) {
        for (const auto& [w, h] : sizes) {
            for (int32_t filter : filterChoices) {
                const DeflateSettings& s = settings[index % settings.size()];
                const size_t chunk = chunkSizes[(index / 3) % 5];
                const PictureKind kind = kinds[index % 3];
                const int32_t paletteSize = 1 + (index * 37) % 256;
                PngPicture p = makePicture(w, h, type, kind, static_cast<uint32_t>(index),
                                           paletteSize, index % 2 == 0);
                SCOPED_TRACE(testing::Message()
                             << "type " << type << " " << w << "x" << h << " filter " << filter
                             << " level " << s.level << " strategy " << s.strategy << " chunk "
                             << chunk);
                const Bytes file = makePngFile(p, filteredStream(p, filter, s), chunk);
                const Decoded d = decode(file);
                ASSERT_TRUE(d.ok) << testing::PrintToString(d.errors);
                ASSERT_EQ(d.width, w);
                ASSERT_EQ(d.height, h);
                ASSERT_TRUE(d.pixels == libpngPixels(file, type));
                ASSERT_TRUE(d.pixels == expectedPixels(p));
                covered[0] += s.level == 0;
                covered[1] += s.strategy == Z_FIXED;
                covered[2] += s.flushEvery > 0;
                covered[3] += chunk == 1;
                ++index;
            }
        }
    }
    EXPECT_EQ(index, 5 * 7 * 7);
    for (int c : covered)
        EXPECT_GT(c, 10);
}

TEST(PngAgainstLibpng, TheSevenPictures)
{
    const std::pair<const unsigned char*, uint32_t> assets[] = {
        {assetCheckerPng, assetCheckerPngSize},     {assetFlarePng, assetFlarePngSize},
        {assetLogoPng, assetLogoPngSize},           {assetBackdropPng, assetBackdropPngSize},
        {assetGreetingsPng, assetGreetingsPngSize}, {assetCreditsPng, assetCreditsPngSize},
        {assetPhotoPng, assetPhotoPngSize}};
    for (const auto& [data, size] : assets) {
        const Bytes file(data, data + size);
        const Decoded d = decode(file);
        ASSERT_TRUE(d.ok);
        EXPECT_TRUE(d.pixels == libpngPixels(file, 2));
    }
}
