// fuzz-png-seeds DIR: writes the fuzzer's seed corpus into DIR: the seven
// embedded pictures and small generated PNGs of every colour type, filter,
// block type and IDAT split.
#include <cstdio>
#include <string>

#include "assets/assets.h"
#include "tests/image/png_maker.h"

static bool writeFile(const std::string& path, const uint8_t* data, size_t size)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok = fwrite(data, 1, size, f) == size;
    return fclose(f) == 0 && ok;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: fuzz-png-seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const std::pair<const unsigned char*, uint32_t> assets[] = {
        {assetCheckerPng, assetCheckerPngSize},     {assetFlarePng, assetFlarePngSize},
        {assetLogoPng, assetLogoPngSize},           {assetBackdropPng, assetBackdropPngSize},
        {assetGreetingsPng, assetGreetingsPngSize}, {assetCreditsPng, assetCreditsPngSize},
        {assetPhotoPng, assetPhotoPngSize}};
    int n = 0;
    bool ok = true;
    for (const auto& [data, size] : assets) {
        ok = ok && writeFile(dir + "/asset-" + std::to_string(n++) + ".png", data, size);
    }
    const DeflateSettings settings[] = {
        {0}, {1, Z_FIXED}, {9}, {6, Z_DEFAULT_STRATEGY, 15, 8, 16, Z_SYNC_FLUSH}, {6, Z_RLE}};
    const int32_t types[] = {0, 2, 3, 4, 6};
    for (int i = 0; i < 25; ++i) {
        const int32_t type = types[i % 5];
        const PngPicture p = makePicture(1 + i % 7, 1 + (i * 3) % 11, type,
                                         i % 3 == 0 ? PictureKind::Photo : PictureKind::Noise,
                                         static_cast<uint32_t>(i), 1 + (i * 53) % 256, i % 2 == 0);
        const Bytes rows =
            filterScanlines(p, i % 2 == 0 ? FILTERS_CYCLE : i % 5, static_cast<uint32_t>(i));
        const Bytes stream = zlibCompress(rows.data(), rows.size(), settings[(i / 5) % 5]);
        const Bytes file = makePngFile(p, stream, i % 4 == 0 ? 1 + i % 9 : 0);
        ok = ok && writeFile(dir + "/made-" + std::to_string(i) + ".png", file.data(), file.size());
    }
    if (!ok) {
        fprintf(stderr, "fuzz-png-seeds: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
