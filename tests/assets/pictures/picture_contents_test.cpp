// Contents of the committed pictures: key colours, the features each one
// must show, and which way up it is stored.
#include "pictures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

static const int SIDE = 256;

static bool isKeyGrey(Rgb p)
{
    return p.r == 231 && p.g == 231 && p.b == 231;
}
static bool isBlack(Rgb p)
{
    return p.r == 0 && p.g == 0 && p.b == 0;
}

namespace {

// A run of file rows in which some pixel passes a test.
struct Band {
    int first, last;  // file rows, inclusive
    int height() const
    {
        return last - first + 1;
    }
};

}  // namespace

static std::vector<Band> rowBands(const PngFacts& facts, int left, int right,
                                  const std::function<bool(Rgb)>& marked)
{
    std::vector<Band> bands;
    bool open = false;
    for (int y = 0; y < SIDE; ++y) {
        bool any = false;
        for (int x = left; x < right && !any; ++x)
            any = marked(pixelAt(facts, x, y));
        if (any && !open)
            bands.push_back({y, y});
        if (any)
            bands.back().last = y;
        open = any;
    }
    return bands;
}

// The band with the most rows; among equals the first.
static size_t tallestBand(const std::vector<Band>& bands)
{
    size_t best = 0;
    for (size_t i = 1; i < bands.size(); ++i)
        if (bands[i].height() > bands[best].height())
            best = i;
    return best;
}

namespace {

// The logo's outer box: everything that is not key grey.
struct Box {
    int left, top, right, bottom;  // inclusive
};

}  // namespace

static Box outerBox(const PngFacts& facts)
{
    Box box = {SIDE, SIDE, -1, -1};
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x)
            if (!isKeyGrey(pixelAt(facts, x, y))) {
                box.left = std::min(box.left, x), box.right = std::max(box.right, x);
                box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
            }
    return box;
}

TEST(CheckerPicture, IsEightByEightSquaresOf32PixelsTopLeftWhite)
{
    const PngFacts& facts = pictureFacts("checker.png");
    ASSERT_TRUE(facts.pixelsOk);
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            int expected = ((x / 32 + y / 32) % 2 == 0) ? 255 : 0;
            Rgb p = pixelAt(facts, x, y);
            ASSERT_TRUE(p.r == expected && p.g == expected && p.b == expected) << x << "," << y;
        }
}

TEST(FlarePicture, IsAWhiteStarFadingToPureBlackBeforeTheEdges)
{
    const PngFacts& facts = pictureFacts("flare.png");
    ASSERT_TRUE(facts.pixelsOk);
    int centreMin = 255;
    for (int y = 126; y <= 129; ++y)
        for (int x = 126; x <= 129; ++x) {
            Rgb p = pixelAt(facts, x, y);
            centreMin = std::min({centreMin, p.r, p.g, p.b});
        }
    EXPECT_GE(centreMin, 250) << "the core is white";
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            Rgb p = pixelAt(facts, x, y);
            ASSERT_TRUE(p.r == p.g && p.g == p.b) << "not grey at " << x << "," << y;
            float dx = float(x) - 127.5f, dy = float(y) - 127.5f;
            if (std::sqrt(dx * dx + dy * dy) >= 127.0f) {
                ASSERT_TRUE(isBlack(p)) << "no square halo: " << x << "," << y;
            }
        }
}

TEST(FlarePicture, HasManyThinRays)
{
    const PngFacts& facts = pictureFacts("flare.png");
    ASSERT_TRUE(facts.pixelsOk);
    // Brightness around a circle well outside the core: each ray is a peak
    // that stands clearly above the dark between the rays.
    const int STEPS = 1440;
    std::vector<int> ring(STEPS);
    int darkest = 255, darkestAt = 0;
    for (int i = 0; i < STEPS; ++i) {
        double angle = 2.0 * M_PI * i / STEPS;
        int x = int(std::lround(127.5 + 40.0 * std::cos(angle))),
            y = int(std::lround(127.5 + 40.0 * std::sin(angle)));
        ring[size_t(i)] = pixelAt(facts, x, y).r;
        if (ring[size_t(i)] < darkest)
            darkest = ring[size_t(i)], darkestAt = i;
    }
    int rays = 0;
    bool inRay = false;
    for (int step = 0; step < STEPS; ++step) {  // from the darkest point, so no ray is split
        bool bright = ring[size_t((darkestAt + step) % STEPS)] > darkest + 16;
        if (bright && !inRay)
            ++rays;
        inRay = bright;
    }
    EXPECT_GE(rays, 12);
}

TEST(LogoPicture, FramedLetteringOnAnExactKeyGreySurround)
{
    const PngFacts& facts = pictureFacts("logo.png");
    ASSERT_TRUE(facts.pixelsOk);
    // The frame is the box around everything that is not the key grey.
    Box box = outerBox(facts);
    int left = box.left, right = box.right, top = box.top, bottom = box.bottom;
    ASSERT_LE(left, right);
    EXPECT_GT(right - left, SIDE / 2);
    EXPECT_GT(bottom - top, SIDE / 2);
    EXPECT_TRUE(isKeyGrey(pixelAt(facts, 0, 0)));
    int black = 0, white = 0;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
            Rgb p = pixelAt(facts, x, y);
            ASSERT_FALSE(isKeyGrey(p)) << "key grey inside the logo at " << x << "," << y;
            ASSERT_TRUE(p.r == p.g && p.g == p.b) << "black and white only, at " << x << "," << y;
            bool edge = x == left || x == right || y == top || y == bottom;
            if (edge) {
                ASSERT_TRUE(isBlack(p)) << "the frame is black, at " << x << "," << y;
            }
            black += p.r < 64;
            white += p.r > 192;
        }
    int area = (right - left + 1) * (bottom - top + 1);
    EXPECT_GT(black, area / 10);
    EXPECT_GT(white, area / 10);
}

// The lettering reads upright on the floor only if it is stored upside
// down. Upright, the big title sits above the smaller strap line, in the
// far half of the logo that is always in view: so in the file the title is
// the last line of lettering, and the lettering lies mostly in the last rows.
TEST(LogoPicture, IsStoredUpsideDown)
{
    const PngFacts& facts = pictureFacts("logo.png");
    ASSERT_TRUE(facts.pixelsOk);
    Box outer = outerBox(facts);
    ASSERT_LT(outer.left, outer.right);
    int width = outer.right - outer.left;
    // Lines of lettering across the middle columns: bands of dark rows that
    // do not touch the frame's outer edge and are taller than a rule line.
    std::vector<Band> bands = rowBands(facts, outer.left + width / 5, outer.right - width / 5,
                                       [](Rgb p) { return p.r < 128; });
    std::vector<Band> lettering;
    double inkRows = 0, ink = 0;
    for (const Band& band : bands) {
        if (band.first == outer.top || band.last == outer.bottom || band.height() < 8)
            continue;
        lettering.push_back(band);
        ink += band.height();
        inkRows += band.height() * (band.first + band.last) / 2.0;
    }
    ASSERT_GE(lettering.size(), 2u);
    EXPECT_EQ(tallestBand(lettering), lettering.size() - 1);
    EXPECT_GT(inkRows / ink, (outer.top + outer.bottom) / 2.0);
}

TEST(BackdropPicture, IsDarkBlueAndCloudy)
{
    const PngFacts& facts = pictureFacts("backdrop.png");
    ASSERT_TRUE(facts.pixelsOk);
    double sum[3] = {0, 0, 0}, sumSquares = 0;
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            Rgb p = pixelAt(facts, x, y);
            sum[0] += p.r, sum[1] += p.g, sum[2] += p.b;
            sumSquares += double(p.b) * p.b;
        }
    double n = SIDE * SIDE;
    double meanBlue = sum[2] / n;
    EXPECT_GT(meanBlue, sum[0] / n * 1.5);
    EXPECT_GT(meanBlue, sum[1] / n);
    EXPECT_LT((sum[0] + sum[1] + sum[2]) / (3 * n), 90.0) << "dark";
    double spread = std::sqrt(sumSquares / n - meanBlue * meanBlue);
    EXPECT_GT(spread, 12.0) << "clouds, not a flat colour";
}

namespace {

class TextPanel : public testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(TextPanel, BlueWhiteTextOnExactBlack)
{
    const PngFacts& facts = pictureFacts(GetParam());
    ASSERT_TRUE(facts.pixelsOk);
    int black = 0, nearWhite = 0;
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            Rgb p = pixelAt(facts, x, y);
            if (isBlack(p)) {
                ++black;
                continue;
            }
            ASSERT_TRUE(p.b >= p.g && p.g >= p.r) << "blue-white glow at " << x << "," << y;
            nearWhite += p.r > 220;
        }
    EXPECT_GT(black, SIDE * SIDE / 2);
    EXPECT_GT(nearWhite, 500);
    for (int i = 0; i < SIDE; ++i) {
        EXPECT_TRUE(isBlack(pixelAt(facts, i, 0)) && isBlack(pixelAt(facts, i, SIDE - 1)));
        EXPECT_TRUE(isBlack(pixelAt(facts, 0, i)) && isBlack(pixelAt(facts, SIDE - 1, i)));
    }
}

// Several separate lines; the heading, set larger than the rest, is the
// picture's top line and so the file's last.
TEST_P(TextPanel, LinesStoredUpsideDownWithTheHeadingLast)
{
    const PngFacts& facts = pictureFacts(GetParam());
    ASSERT_TRUE(facts.pixelsOk);
    std::vector<Band> lines = rowBands(facts, 0, SIDE, [](Rgb p) { return p.r > 128; });
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(tallestBand(lines), lines.size() - 1);
}

INSTANTIATE_TEST_SUITE_P(Assets, TextPanel, testing::Values("greetings.png", "credits.png"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

TEST(PhotoPicture, PortraitOnWhiteStoredUpsideDown)
{
    const PngFacts& facts = pictureFacts("photo.png");
    ASSERT_TRUE(facts.pixelsOk);
    auto isWhite = [](Rgb p) { return p.r == 255 && p.g == 255 && p.b == 255; };
    // Above the head (the file's last rows) there is only the white ground.
    for (int y = SIDE - 8; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x)
            ASSERT_TRUE(isWhite(pixelAt(facts, x, y))) << x << "," << y;
    // The shoulders fill the bottom of the picture (the file's first row).
    int shoulder = 0;
    for (int x = 0; x < SIDE; ++x)
        shoulder += !isWhite(pixelAt(facts, x, 0));
    EXPECT_GT(shoulder, SIDE / 2);
    // A photograph has many colours, not a few flat areas.
    std::vector<bool> seen(1 << 15);
    int colours = 0;
    for (size_t i = 0; i + 2 < facts.rgb.size(); i += 3) {
        size_t key = size_t(facts.rgb[i] >> 3) << 10 | size_t(facts.rgb[i + 1] >> 3) << 5 |
                     size_t(facts.rgb[i + 2] >> 3);
        colours += !seen[key];
        seen[key] = true;
    }
    EXPECT_GT(colours, 300);
}
