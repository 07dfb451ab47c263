// Scanline filters: the predictor's tie-breaks, the wrap rules, and the row
// and column edges where a, b or c fall outside the image.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "image/filters.h"
#include "image/png_state.h"

// Runs reconstructScanlines over rows given as {filter, bytes...}.
static std::vector<std::vector<uint8_t>> reconstruct(int32_t bpp,
                                                     const std::vector<std::vector<uint8_t>>& rows)
{
    const size_t stride = rows[0].size();
    std::vector<uint8_t> buffer;
    for (const auto& row : rows)
        buffer.insert(buffer.end(), row.begin(), row.end());
    buffer.resize(buffer.size() + stride, 0);  // the spare row
    scanlineBuffer = buffer.data();
    pngBytesPerPixel = bpp;
    pngWidth = static_cast<int32_t>((stride - 1) / bpp);
    pngHeight = static_cast<int32_t>(rows.size());
    reconstructScanlines();
    scanlineBuffer = nullptr;
    std::vector<std::vector<uint8_t>> out;
    for (size_t r = 0; r < rows.size(); ++r) {
        out.emplace_back(buffer.begin() + static_cast<long>(r * stride),
                         buffer.begin() + static_cast<long>((r + 1) * stride));
    }
    return out;
}

using Row = std::vector<uint8_t>;

TEST(Paeth, TieBreaksFavourAThenB)
{
    EXPECT_EQ(paethPredictor(7, 7, 7), 7);
    EXPECT_EQ(paethPredictor(10, 20, 10), 20);   // p = 20: pb = 0
    EXPECT_EQ(paethPredictor(20, 10, 10), 20);   // p = 20: pa = 0
    EXPECT_EQ(paethPredictor(0, 0, 255), 0);     // pa = pb = 255, pc = 510: a wins the tie
    EXPECT_EQ(paethPredictor(100, 50, 75), 75);  // p = 75: pa = pb = 25, pc = 0
    EXPECT_EQ(paethPredictor(0, 30, 10), 30);    // p = 20: pb = pc = 10 < pa: b wins
}

TEST(Paeth, MatchesTheStandardsDefinitionEverywhere)
{
    for (int a = 0; a < 256; a += 5) {
        for (int b = 0; b < 256; b += 3) {
            for (int c = 0; c < 256; c += 7) {
                const int p = a + b - c;
                const int pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
                const int expected = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                ASSERT_EQ(paethPredictor(a, b, c), expected) << a << " " << b << " " << c;
            }
        }
    }
}

TEST(Filters, FirstRowTreatsTheRowAboveAsZero)
{
    const auto out = reconstruct(1, {{2, 5, 6, 7}});
    EXPECT_EQ(out[0], (Row{2, 5, 6, 7}));                               // Up: unchanged
    EXPECT_EQ(reconstruct(1, {{3, 10, 4, 4}})[0], (Row{3, 10, 9, 8}));  // Average: half of a only
    EXPECT_EQ(reconstruct(1, {{4, 10, 4, 250}})[0], (Row{4, 10, 14, 8}));  // Paeth: adds a
    EXPECT_EQ(reconstruct(2, {{1, 1, 2, 3, 4, 5, 6}})[0],
              (Row{1, 1, 2, 4, 6, 9, 12}));  // Sub, bpp 2
}

TEST(Filters, LaterRowsFirstPixelUsesOnlyTheByteAbove)
{
    const auto out = reconstruct(3, {{0, 10, 20, 30, 40, 50, 60}, {4, 1, 1, 1, 1, 1, 1}});
    // First pixel: b. Second pixel: a = 11, b = 40, c = 10 -> p = 41, pb = 1 -> b.
    EXPECT_EQ(out[1], (Row{4, 11, 21, 31, 41, 51, 61}));
    const auto avg = reconstruct(3, {{0, 10, 20, 30, 40, 50, 60}, {3, 1, 1, 1, 1, 1, 1}});
    EXPECT_EQ(avg[1], (Row{3, 6, 11, 16, 1 + (6 + 40) / 2, 1 + (11 + 50) / 2, 1 + (16 + 60) / 2}));
}

TEST(Filters, AverageSumsBeforeHalving)
{
    // Byte 0: 128 + 255 / 2 = 255. Byte 1: a = b = 255 adds 510 / 2 = 255
    // (a byte-wide sum would add 127).
    const auto out = reconstruct(1, {{0, 255, 255}, {3, 128, 0}});
    EXPECT_EQ(out[1], (Row{3, 255, 255}));
}

TEST(Filters, UnknownFilterTypeLeavesTheRowAsStored)
{
    const auto out = reconstruct(1, {{1, 3, 3, 3}, {7, 9, 8, 7}, {2, 1, 1, 1}});
    EXPECT_EQ(out[0], (Row{1, 3, 6, 9}));
    EXPECT_EQ(out[1], (Row{7, 9, 8, 7}));
    EXPECT_EQ(out[2], (Row{2, 10, 9, 8}));
}

TEST(Filters, UpAddsTheRowAboveWithWrap)
{
    const auto out = reconstruct(4, {{0, 200, 1, 2, 3, 4, 5, 6, 7}, {2, 100, 1, 1, 1, 1, 1, 1, 1}});
    EXPECT_EQ(out[1], (Row{2, 44, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(Filters, PaethRowsOverEveryBytePatternMatchTheStandard)
{
    // Random rows, every pixel size: each reconstructed byte equals the filtered
    // byte plus the standard's predictor of its reconstructed neighbours.
    uint32_t state = 12345;
    auto rnd = [&]() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (int32_t bpp = 1; bpp <= 4; ++bpp) {
        std::vector<std::vector<uint8_t>> rows;
        for (int r = 0; r < 40; ++r) {
            Row row{4};
            for (int i = 0; i < 12 * bpp; ++i)
                row.push_back(static_cast<uint8_t>(rnd() % 2 ? rnd() % 3 : rnd()));
            rows.push_back(row);
        }
        const auto out = reconstruct(bpp, rows);
        for (size_t r = 0; r < rows.size(); ++r) {
            for (size_t i = 1; i < rows[r].size(); ++i) {
                const int a = i > static_cast<size_t>(bpp) ? out[r][i - bpp] : 0;
                const int b = r > 0 ? out[r - 1][i] : 0;
                const int c = r > 0 && i > static_cast<size_t>(bpp) ? out[r - 1][i - bpp] : 0;
                const int p = a + b - c;
                const int pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
                const int predicted = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                ASSERT_EQ(out[r][i], static_cast<uint8_t>(rows[r][i] + predicted))
                    << bpp << " " << r << " " << i;
            }
        }
    }
}
