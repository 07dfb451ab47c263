// werule-webdata OUT.cpp
// Writes the C++ source of platform/web/webdata.h's tables: the position
// the module reaches at every millisecond of the show, as changes, scanned
// by the Linux layer's platMusicScanPositions, and every glyph's triangles
// and metrics as the Linux layer's font build makes them. Floats are
// written in hexadecimal, so the page gets them bit for bit.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "assets/assets.h"
#include "platform/platform.h"

enum {
    SCAN_FREQUENCY = 44100,        // the show's output rate
    SCAN_MILLISECONDS = 160000,    // past the end cue (about 144 s)
    MAX_GLYPH_TRIANGLES = 1 << 14  // far beyond any glyph of the font
};

static bool writeMusic(FILE* out)
{
    std::vector<uint32_t> positions(SCAN_MILLISECONDS);
    if (!platMusicScanPositions(assetMusicIt, assetMusicItSize, SCAN_FREQUENCY, 1, positions.data(),
                                SCAN_MILLISECONDS)) {
        fprintf(stderr, "werule-webdata: the module does not load\n");
        return false;
    }
    // positions[k] is heard k + 1 ms after the start; before that, order 0, row 0.
    fprintf(out, "const uint32_t webMusicChanges[] = {\n0u, 0u,\n");
    int changes = 1;
    uint32_t last = 0;
    for (int k = 0; k < SCAN_MILLISECONDS; ++k) {
        if (positions[k] != last) {
            fprintf(out, "%du, 0x%08Xu,\n", k + 1, positions[k]);
            last = positions[k];
            ++changes;
        }
    }
    fprintf(out, "};\nconst int webMusicChangeCount = %d;\n\n", changes);
    return true;
}

static bool writeGlyphs(FILE* out)
{
    std::vector<float> corners(MAX_GLYPH_TRIANGLES * 6);
    std::vector<float> all;
    PlatGlyphMetrics metrics[256];
    int first[257];
    for (int code = 0; code < 256; ++code) {
        int triangles = platGlyphTriangles(assetFontTtf, assetFontTtfSize, code, corners.data(),
                                           MAX_GLYPH_TRIANGLES, &metrics[code]);
        if (triangles < 0) {
            fprintf(stderr, "werule-webdata: the font cannot be read\n");
            return false;
        }
        first[code] = static_cast<int>(all.size() / 2);
        all.insert(all.end(), corners.begin(), corners.begin() + triangles * 6);
    }
    first[256] = static_cast<int>(all.size() / 2);
    fprintf(out, "const PlatGlyphMetrics webGlyphMetrics[256] = {\n");
    for (const PlatGlyphMetrics& m : metrics) {
        fprintf(out, "{%af, %af, %af, %af, %af, %af},\n", m.blackBoxX, m.blackBoxY, m.originX,
                m.originY, m.cellIncX, m.cellIncY);
    }
    fprintf(out, "};\nconst int webGlyphFirstCorner[257] = {\n");
    for (int code = 0; code <= 256; ++code) {
        fprintf(out, "%d,%s", first[code], code % 16 == 15 ? "\n" : " ");
    }
    fprintf(out, "};\nconst float webGlyphCorners[] = {\n");
    for (size_t i = 0; i < all.size(); ++i) {
        fprintf(out, "%af,%s", all[i], i % 8 == 7 ? "\n" : " ");
    }
    fprintf(out, "0};\n");
    return true;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: werule-webdata OUT.cpp\n");
        return 2;
    }
    const char* path = argv[1];
    FILE* out = fopen(path, "w");
    if (out == nullptr) {
        perror(path);
        return 1;
    }
    fprintf(out, "// Made by werule-webdata from the module and the font; do not edit.\n"
                 "#include \"platform/web/webdata.h\"\n\n");
    const bool written = writeMusic(out) && writeGlyphs(out);
    if (fclose(out) != 0 || !written) {
        remove(path);
        return 1;
    }
    return 0;
}
