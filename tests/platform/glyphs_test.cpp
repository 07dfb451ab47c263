// The outline font's triangles against FreeType's own rasteriser: every
// glyph's triangles, drawn at a large size, cover exactly the pixels its
// outline covers, nowhere twice, and none of them winds clockwise.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cmath>
#include <vector>

#include "assets/assets.h"
#include "platform/tools.h"

static const int PIXELS_PER_EM = 160;
static const int MAX_TRIANGLES = 16384;

namespace {

struct FontFixture : public ::testing::Test {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    void SetUp() override
    {
        ASSERT_EQ(FT_Init_FreeType(&library), 0);
        ASSERT_EQ(FT_New_Memory_Face(library, assetFontTtf, assetFontTtfSize, 0, &face), 0);
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    }
    void TearDown() override
    {
        FT_Done_Face(face);
        FT_Done_FreeType(library);
    }
};

// A glyph outline rendered by FreeType with anti-aliasing at PIXELS_PER_EM,
// the bitmap's origin (left, bottom) in pixels of the em grid.
struct Coverage {
    int width = 0, height = 0;
    int left = 0, bottom = 0;
    std::vector<uint8_t> grey;  // row 0 at the top
};

}  // namespace

static Coverage rasterise(FT_Library library, FT_Face face, int code)
{
    Coverage coverage;
    const FT_UInt index = FT_Get_Char_Index(face, code);
    if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE) != 0) {
        return coverage;
    }
    FT_Outline* outline = &face->glyph->outline;
    // Design units to 26.6 pixels.
    const FT_Fixed scale =
        static_cast<FT_Fixed>(std::lround(65536.0 * 64 * PIXELS_PER_EM / face->units_per_EM));
    FT_Matrix matrix = {scale, 0, 0, scale};
    FT_Outline_Transform(outline, &matrix);
    FT_BBox box;
    FT_Outline_Get_CBox(outline, &box);
    coverage.left = static_cast<int>(std::floor(box.xMin / 64.0)) - 2;
    coverage.bottom = static_cast<int>(std::floor(box.yMin / 64.0)) - 2;
    coverage.width = static_cast<int>(std::ceil(box.xMax / 64.0)) - coverage.left + 2;
    coverage.height = static_cast<int>(std::ceil(box.yMax / 64.0)) - coverage.bottom + 2;
    FT_Outline_Translate(outline, -coverage.left * 64, -coverage.bottom * 64);
    coverage.grey.assign(static_cast<size_t>(coverage.width) * coverage.height, 0);
    FT_Bitmap bitmap = {};
    bitmap.rows = static_cast<unsigned>(coverage.height);
    bitmap.width = static_cast<unsigned>(coverage.width);
    bitmap.pitch = coverage.width;
    bitmap.buffer = coverage.grey.data();
    bitmap.num_grays = 256;
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
    FT_Raster_Params params = {};
    params.target = &bitmap;
    params.flags = FT_RASTER_FLAG_AA;
    EXPECT_EQ(FT_Outline_Render(library, outline, &params), 0);
    return coverage;
}

TEST_F(FontFixture, EveryGlyphsTrianglesCoverItsOutlineOnceAndWindCounterClockwise)
{
    std::vector<float> corners(MAX_TRIANGLES * 6);
    int glyphs = 0, emptyCodes = 0;
    for (int code = 0; code < 255; ++code) {
        SCOPED_TRACE(code);
        PlatGlyphMetrics metrics;
        const int triangles = platGlyphTriangles(assetFontTtf, assetFontTtfSize, code,
                                                 corners.data(), MAX_TRIANGLES, &metrics);
        ASSERT_GE(triangles, 0);
        ASSERT_LT(triangles, MAX_TRIANGLES);
        const FT_UInt index = FT_Get_Char_Index(face, code);
        if (index == 0) {
            EXPECT_EQ(triangles, 0);
            EXPECT_EQ(metrics.cellIncX, 0.0f);
            ++emptyCodes;
            continue;
        }
        ASSERT_EQ(FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE), 0);
        EXPECT_FLOAT_EQ(metrics.cellIncX,
                        static_cast<float>(face->glyph->advance.x) / face->units_per_EM);
        const bool hasOutline = face->glyph->outline.n_contours > 0;
        EXPECT_EQ(triangles > 0, hasOutline);

        const Coverage coverage = rasterise(library, face, code);
        std::vector<uint8_t> hits(static_cast<size_t>(coverage.width) * coverage.height, 0);
        for (int t = 0; t < triangles; ++t) {
            double px[3], py[3];
            for (int c = 0; c < 3; ++c) {
                // Em units to pixels of the bitmap, y still up.
                px[c] = corners[6 * t + 2 * c] * PIXELS_PER_EM - coverage.left;
                py[c] = corners[6 * t + 2 * c + 1] * PIXELS_PER_EM - coverage.bottom;
            }
            const double area =
                (px[1] - px[0]) * (py[2] - py[0]) - (px[2] - px[0]) * (py[1] - py[0]);
            EXPECT_GE(area, -1e-9) << "triangle " << t << " winds clockwise";
            if (area <= 0) {
                continue;
            }
            const int x0 =
                std::max(0, static_cast<int>(std::floor(std::min({px[0], px[1], px[2]}))));
            const int x1 = std::min(coverage.width - 1,
                                    static_cast<int>(std::ceil(std::max({px[0], px[1], px[2]}))));
            const int y0 =
                std::max(0, static_cast<int>(std::floor(std::min({py[0], py[1], py[2]}))));
            const int y1 = std::min(coverage.height - 1,
                                    static_cast<int>(std::ceil(std::max({py[0], py[1], py[2]}))));
            for (int y = y0; y <= y1; ++y) {
                for (int x = x0; x <= x1; ++x) {
                    // Pixel centres, nudged off any exact edge.
                    const double sx = x + 0.5 + 1.3e-7, sy = y + 0.5 + 2.9e-7;
                    bool inside = true;
                    for (int e = 0; e < 3 && inside; ++e) {
                        const int n = (e + 1) % 3;
                        inside =
                            (px[n] - px[e]) * (sy - py[e]) - (py[n] - py[e]) * (sx - px[e]) > 0;
                    }
                    if (inside) {
                        ++hits[static_cast<size_t>(coverage.height - 1 - y) * coverage.width + x];
                    }
                }
            }
        }
        int missed = 0, spilled = 0, twice = 0, solid = 0;
        for (size_t i = 0; i < hits.size(); ++i) {
            const uint8_t grey = coverage.grey[i];
            missed += grey >= 250 && hits[i] == 0;
            spilled += grey <= 5 && hits[i] > 0;
            twice += hits[i] > 1;
            solid += grey >= 250;
        }
        EXPECT_EQ(missed, 0) << "pixels inside the outline left uncovered";
        EXPECT_EQ(spilled, 0) << "pixels outside the outline covered";
        EXPECT_EQ(twice, 0) << "pixels covered by two triangles";
        if (hasOutline) {
            EXPECT_GT(solid, 0);
            ++glyphs;
        }
    }
    EXPECT_GT(glyphs, 180);     // printable ASCII and Latin-1
    EXPECT_GT(emptyCodes, 30);  // the control codes
}

TEST_F(FontFixture, EmHeightIsOneAndMetricsFollowTheFont)
{
    std::vector<float> corners(MAX_TRIANGLES * 6);
    PlatGlyphMetrics metrics;
    const int triangles = platGlyphTriangles(assetFontTtf, assetFontTtfSize, 'H', corners.data(),
                                             MAX_TRIANGLES, &metrics);
    ASSERT_GT(triangles, 0);
    float top = -1, bottom = 1;
    for (int i = 0; i < triangles * 3; ++i) {
        top = std::max(top, corners[2 * i + 1]);
        bottom = std::min(bottom, corners[2 * i + 1]);
    }
    const FT_UInt index = FT_Get_Char_Index(face, 'H');
    ASSERT_EQ(FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE), 0);
    const double units = face->units_per_EM;
    EXPECT_NEAR(bottom, 0.0, 1e-6);  // on the baseline
    EXPECT_NEAR(top, face->glyph->metrics.horiBearingY / units, 1e-6);
    EXPECT_NEAR(metrics.originY, face->glyph->metrics.horiBearingY / units, 1e-6);
    EXPECT_NEAR(metrics.blackBoxY, face->glyph->metrics.height / units, 1e-6);
    EXPECT_GT(top, 0.6f);  // a capital of a bold sans face stands about 0.7 em
    EXPECT_LT(top, 0.8f);

    // Bytes that are no font: no triangles, an error.
    const unsigned char junk[64] = {1, 2, 3};
    EXPECT_EQ(platGlyphTriangles(junk, sizeof junk, 'H', corners.data(), MAX_TRIANGLES, &metrics),
              -1);
}
