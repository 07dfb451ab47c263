// werule-webdata OUT.cpp
// Writes the C++ source of platform/web/webdata.h's tables: every glyph's
// triangles and metrics as the Linux layer's font build makes them. Floats are
// written in hexadecimal, so the page gets them bit for bit.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "assets/assets.h"
#include "platform/tools.h"

enum {
    MAX_GLYPH_TRIANGLES = 1 << 14  // far beyond any glyph of the font
};

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
    fprintf(out, "// Made by werule-webdata from the font; do not edit.\n"
                 "#include \"platform/web/webdata.h\"\n\n");
    const bool written = writeGlyphs(out);
    if (fclose(out) != 0 || !written) {
        remove(path);
        return 1;
    }
    return 0;
}
