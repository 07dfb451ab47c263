// The PNG writer of the asset tools: what it writes reads back through
// libpng as exactly the pixels given, whatever the settings.
#include "png_facts.h"
#include "tools/pngwriter/pngwriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

// Pictures that drive the row filter choice different ways: noise (None),
// horizontal ramps (Sub), vertical ramps (Up), smooth 2-D fields (Average
// and Paeth).
static std::vector<uint8_t> testPicture(int width, int height, int kind)
{
    std::vector<uint8_t> rgb(size_t(width) * size_t(height) * 3);
    uint32_t state = 12345u + uint32_t(kind);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                state = state * 1664525u + 1013904223u;
                int value = 0;
                switch (kind) {
                case 0: value = int(state >> 24); break;
                case 1: value = x * 7 + c * 40; break;
                case 2: value = y * 5 + c * 30; break;
                default: value = (x * x + y * y * 2) / 37 + c * 9 + int(state >> 30); break;
                }
                rgb[(size_t(y) * size_t(width) + size_t(x)) * 3 + size_t(c)] = uint8_t(value);
            }
    return rgb;
}

static PngSettings plainSettings(int chunks)
{
    return {.idatChunks = chunks,
            .fixedCodes = false,
            .fixedLaterHalf = false,
            .timeChunk = false,
            .physChunk = false,
            .gammaChunks = false};
}

static std::string temporaryPath()
{
    char pattern[] = "/tmp/werule-pngwriter-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0)
        return "";
    close(fd);
    return pattern;
}

TEST(PngWriter, PixelsReadBackExactlyUnderEverySetting)
{
    std::string path = temporaryPath();
    ASSERT_FALSE(path.empty());
    const int sizes[][2] = {{1, 1}, {3, 2}, {37, 19}, {256, 256}};
    for (const auto& size : sizes)
        for (int kind = 0; kind < 4; ++kind)
            for (int chunks : {1, 2, 7})
                for (int codes = 0; codes < 3; ++codes) {  // dynamic, fixed, dynamic then fixed
                    std::vector<uint8_t> rgb = testPicture(size[0], size[1], kind);
                    PngSettings settings = {.idatChunks = chunks,
                                            .fixedCodes = codes == 1,
                                            .fixedLaterHalf = codes == 2,
                                            .timeChunk = true,
                                            .physChunk = kind % 2 == 0,
                                            .gammaChunks = kind >= 2};
                    ASSERT_TRUE(pngWrite(path.c_str(), rgb.data(), size[0], size[1], settings));
                    PngFacts facts = examinePng(path);
                    SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1] << " kind " << kind
                                                    << " chunks " << chunks << " codes " << codes);
                    ASSERT_TRUE(facts.pixelsOk);
                    EXPECT_TRUE(facts.crcsOk);
                    EXPECT_EQ(facts.idatCount, chunks);
                    EXPECT_TRUE(facts.idatConsecutive);
                    EXPECT_EQ(facts.width, uint32_t(size[0]));
                    EXPECT_EQ(facts.height, uint32_t(size[1]));
                    EXPECT_TRUE(facts.rgb == rgb);
                    ASSERT_FALSE(facts.blockTypes.empty());
                    for (int type : facts.blockTypes) {
                        EXPECT_NE(type, 3);
                        EXPECT_FALSE(codes == 1 && type == 2) << "dynamic codes despite fixedCodes";
                    }
                    // A picture that compresses well: dynamic blocks, then fixed ones to the end.
                    if (codes == 2 && kind != 0 && size[0] == 256) {
                        EXPECT_EQ(facts.blockTypes.front(), 2);
                        EXPECT_EQ(facts.blockTypes.back(), 1);
                    }
                    int rows = 0;
                    for (int count : pngFilterCounts)
                        rows += count;
                    EXPECT_EQ(rows, size[1]);
                }
    std::remove(path.c_str());
}

TEST(PngWriter, ChoosesTheFilterThatFitsTheRows)
{
    std::string path = temporaryPath();
    ASSERT_FALSE(path.empty());
    // Rows that repeat the row above filter best with Up.
    std::vector<uint8_t> rgb = testPicture(64, 64, 1);
    ASSERT_TRUE(pngWrite(path.c_str(), rgb.data(), 64, 64, plainSettings(1)));
    EXPECT_EQ(pngFilterCounts[2], 63);
    // Flat rows of unrelated colours: only the left neighbour predicts them
    // (Sub, or Paeth, which picks the left neighbour there).
    std::vector<uint8_t> flat(64 * 64 * 3);
    for (size_t i = 0; i < flat.size(); ++i)
        flat[i] = uint8_t((i / 192) * 97 % 256);
    ASSERT_TRUE(pngWrite(path.c_str(), flat.data(), 64, 64, plainSettings(1)));
    EXPECT_GE(pngFilterCounts[1] + pngFilterCounts[4], 63);
    std::remove(path.c_str());
}

TEST(PngWriter, RefusesImpossibleRequests)
{
    std::string path = temporaryPath();
    ASSERT_FALSE(path.empty());
    std::vector<uint8_t> rgb = testPicture(4, 4, 0);
    EXPECT_FALSE(pngWrite(path.c_str(), rgb.data(), 0, 4, plainSettings(1)));
    EXPECT_FALSE(pngWrite(path.c_str(), rgb.data(), 4, -1, plainSettings(1)));
    EXPECT_FALSE(pngWrite(path.c_str(), rgb.data(), 5000, 1, plainSettings(1)));
    EXPECT_FALSE(pngWrite(path.c_str(), rgb.data(), 4, 4, plainSettings(0)));
    EXPECT_FALSE(pngWrite("/nonexistent-folder/x.png", rgb.data(), 4, 4, plainSettings(1)));
    std::remove(path.c_str());
}
