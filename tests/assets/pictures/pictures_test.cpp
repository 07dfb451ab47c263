// Format of the committed pictures: PNG structure, chunk layout, filters
// and deflate block kinds, read with code independent of the show's decoder.
#include "pictures.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <set>

const PictureEntry PICTURES[7] = {
    {"checker.png", 1, false},  {"flare.png", 2, false},    {"logo.png", 1, true},
    {"backdrop.png", 4, false}, {"greetings.png", 1, true}, {"credits.png", 1, true},
    {"photo.png", 7, true},
};

const PngFacts& pictureFacts(const std::string& file)
{
    static std::map<std::string, PngFacts> cache;
    auto found = cache.find(file);
    if (found == cache.end())
        found = cache.emplace(file, examinePng(std::string(WERULE_ASSETS_DIR) + "/" + file)).first;
    return found->second;
}

Rgb pixelAt(const PngFacts& facts, int x, int y)
{
    const uint8_t* p = &facts.rgb[(size_t(y) * facts.width + size_t(x)) * 3];
    return {p[0], p[1], p[2]};
}

// Names the parameter in test output.
void PrintTo(const PictureEntry& entry, std::ostream* out)
{
    *out << entry.file;
}

namespace {

class PictureFormat : public testing::TestWithParam<PictureEntry> {};

}  // namespace

TEST_P(PictureFormat, HeaderIs256By256EightBitRgbNotInterlaced)
{
    const PngFacts& facts = pictureFacts(GetParam().file);
    ASSERT_TRUE(facts.signatureOk);
    ASSERT_FALSE(facts.chunks.empty());
    EXPECT_EQ(facts.chunks.front(), "IHDR");
    EXPECT_EQ(facts.width, 256u);
    EXPECT_EQ(facts.height, 256u);
    EXPECT_EQ(facts.bitDepth, 8);
    EXPECT_EQ(facts.colourType, 2);
    EXPECT_EQ(facts.compression, 0);
    EXPECT_EQ(facts.filterMethod, 0);
    EXPECT_EQ(facts.interlace, 0);
}

TEST_P(PictureFormat, ChunksAreIntactWithTheImageDataInConsecutiveIdats)
{
    const PngFacts& facts = pictureFacts(GetParam().file);
    EXPECT_TRUE(facts.crcsOk);
    EXPECT_TRUE(facts.endsWithIend);
    EXPECT_EQ(facts.idatCount, GetParam().idatChunks);
    EXPECT_TRUE(facts.idatConsecutive);
    // Only chunks every reader may skip besides the critical ones, and no
    // palette or transparency chunk that would change the pixels.
    static const std::set<std::string> allowed = {"IHDR", "IDAT", "IEND", "tIME",
                                                  "pHYs", "gAMA", "cHRM"};
    for (const std::string& type : facts.chunks)
        EXPECT_TRUE(allowed.count(type)) << type;
}

TEST_P(PictureFormat, ImageDataInflatesToOneFilteredRowPerLine)
{
    const PngFacts& facts = pictureFacts(GetParam().file);
    ASSERT_TRUE(facts.inflateOk);
    EXPECT_EQ(facts.scanlines.size(), size_t(256) * (256 * 3 + 1));
    std::vector<int> types = filterTypes(facts);
    ASSERT_EQ(types.size(), 256u);
    for (int type : types)
        EXPECT_LE(type, 4);
    ASSERT_FALSE(facts.blockTypes.empty());
    for (int type : facts.blockTypes)
        EXPECT_NE(type, 0) << "stored block";
    for (int type : facts.blockTypes)
        EXPECT_NE(type, 3) << "reserved block type";
}

TEST_P(PictureFormat, LibpngDecodesIt)
{
    const PngFacts& facts = pictureFacts(GetParam().file);
    EXPECT_TRUE(facts.pixelsOk);
    EXPECT_EQ(facts.rgb.size(), size_t(256) * 256 * 3);
}

INSTANTIATE_TEST_SUITE_P(Assets, PictureFormat, testing::ValuesIn(PICTURES),
                         [](const testing::TestParamInfo<PictureEntry>& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.'));
                         });

// Across the set the writer must exercise every row filter and both kinds
// of compressed deflate block, so the show's decoder meets all of them.
TEST(PictureSet, UsesAllFiveRowFilters)
{
    std::set<int> seen;
    for (const PictureEntry& entry : PICTURES)
        for (int type : filterTypes(pictureFacts(entry.file)))
            seen.insert(type);
    EXPECT_EQ(seen, (std::set<int>{0, 1, 2, 3, 4}));
}

TEST(PictureSet, UsesFixedAndDynamicDeflateBlocksButNoStoredBlock)
{
    std::set<int> seen;
    bool bothInOneStream = false;
    for (const PictureEntry& entry : PICTURES) {
        std::set<int> own;
        for (int type : pictureFacts(entry.file).blockTypes)
            own.insert(type);
        seen.insert(own.begin(), own.end());
        bothInOneStream = bothInOneStream || (own.count(1) && own.count(2));
    }
    EXPECT_EQ(seen, (std::set<int>{1, 2}));
    EXPECT_TRUE(bothInOneStream)
        << "a decoder must also switch code kinds between blocks of one stream";
}
