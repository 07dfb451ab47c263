// Frames of the show rendered offscreen by the intro's own scene code and
// checked by what a viewer sees: the letterbox, the backdrop, the floor, the
// logo, the mesh, the credit panels, the scroller and the flash.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "assets/assets.h"
#include "image/png.h"
#include "scene/frame.h"
#include "scene/text.h"
#include "tests/scene/frame_probe.h"
#include "tools/werule-capture/capture.h"

static Frame captureAt(double seconds, float flash = 0, unsigned seed = 1)
{
    Frame frame;
    frame.rgb.resize(static_cast<size_t>(PROBE_WIDTH) * PROBE_HEIGHT * 3);
    captureFrame(ShowMoment{seconds, seed, flash}, frame.rgb.data(), PROBE_WIDTH, PROBE_HEIGHT);
    return frame;
}

// The show time a capture at `seconds` draws with (the float sum of its ticks).
static float showTimeAt(double seconds)
{
    float t = 0;
    for (int i = 0; i < ticksAt(seconds); ++i) {
        t += 0.2f;
    }
    return t;
}

static bool isWhite(const uint8_t* p, int floor = 200)
{
    return p[0] >= floor && p[1] >= floor && p[2] >= floor;
}

static bool inBand(const Pixel& p)
{
    return p.column >= 0 && p.column < PROBE_WIDTH && p.row >= PROBE_BAND_TOP &&
           p.row < PROBE_BAND_BOTTOM;
}

// Counts pixels of a box that are bright in every channel.
static int brightPixels(const Frame& frame, int centreColumn, int centreRow, int half)
{
    int count = 0;
    for (int row = centreRow - half; row <= centreRow + half; ++row) {
        for (int column = centreColumn - half; column <= centreColumn + half; ++column) {
            if (isWhite(frame.at(column, row), 150)) {
                ++count;
            }
        }
    }
    return count;
}

TEST(Frames, LetterboxBandsStayBlackAtEveryMoment)
{
    const struct {
        double seconds;
        float flash;
    } moments[] = {{0, 0}, {7.86, 0}, {20, 253}, {61.3, 120}};
    for (const auto& moment : moments) {
        const Frame frame = captureAt(moment.seconds, moment.flash);
        int lit = 0;
        for (int row = 0; row < PROBE_HEIGHT; ++row) {
            if (row >= PROBE_BAND_TOP && row < PROBE_BAND_BOTTOM) {
                continue;
            }
            for (int column = 0; column < PROBE_WIDTH; ++column) {
                const uint8_t* p = frame.at(column, row);
                lit += (p[0] | p[1] | p[2]) != 0;
            }
        }
        EXPECT_EQ(lit, 0) << "at " << moment.seconds << " s";
        // The band itself is drawn into: its first and last rows are not all black.
        int litEdge = 0;
        for (int column = 0; column < PROBE_WIDTH; ++column) {
            const uint8_t* top = frame.at(column, PROBE_BAND_TOP);
            const uint8_t* bottom = frame.at(column, PROBE_BAND_BOTTOM - 1);
            litEdge += (top[0] | top[1] | top[2]) != 0;
            litEdge += (bottom[0] | bottom[1] | bottom[2]) != 0;
        }
        EXPECT_GT(litEdge, PROBE_WIDTH) << "at " << moment.seconds << " s";
    }
}

TEST(Frames, AtTimeZeroTheSkyIsTheBlueBackdrop)
{
    const Frame frame = captureAt(0);
    // Above the horizon, away from the mesh (upper right) and the scroller (top rows).
    long red = 0, green = 0, blue = 0, bluish = 0, count = 0;
    for (int row = 140; row < 320; ++row) {
        for (int column = 0; column < 380; ++column) {
            const uint8_t* p = frame.at(column, row);
            red += p[0];
            green += p[1];
            blue += p[2];
            bluish += p[2] > p[0] && p[2] >= p[1];
            ++count;
        }
    }
    EXPECT_GT(blue, red + 10 * count);
    EXPECT_GT(blue, green + 5 * count);
    EXPECT_GT(blue, 20 * count);        // lit, not black
    EXPECT_LT(blue, 160 * count);       // dark, at 40 %
    EXPECT_GT(bluish * 10, count * 8);  // nearly every pixel leans blue
}

// The floor's texel at eye point (x, -1, z) at show time t: the quad's
// local y is -(z + 5), and the texture matrix shifts t by -t / 30.
static const uint8_t* floorTexel(const Picture& checker, double x, double z, float time,
                                 bool* uniform)
{
    const double s = (x + 5) / 10;
    const double localY = -(z + 5);
    double t = (5 - localY) / 10 - static_cast<double>(time * 0.033333335f);
    t -= std::floor(t);
    *uniform = checker.uniformAround(s, t, 3);
    return checker.texel(s, t);
}

TEST(Frames, AtTimeZeroTheFloorShowsBlackAndWhiteSquaresAndTheLogoLiesOnIt)
{
    const Picture checker = loadPicture(assetCheckerPng, assetCheckerPngSize, -1);
    const Picture logo = loadPicture(assetLogoPng, assetLogoPngSize, 231);
    ASSERT_EQ(checker.width, 256);
    ASSERT_EQ(logo.width, 256);
    const Frame frame = captureAt(0);

    int black = 0, white = 0, checked = 0;
    for (double z = -9.8; z < -1.2; z += 0.1) {
        for (double x = -4.9; x < 4.9; x += 0.1) {
            const bool onLogo = std::fabs(x) < 1.6 && z > -3.4 && z < -1.2;
            const Pixel p = projectPoint(x, -1, z, 2.0);
            bool uniform = false;
            const uint8_t* texel = floorTexel(checker, x, z, 0, &uniform);
            if (onLogo || !uniform || !inBand(p) || p.row < 350) {
                continue;
            }
            const uint8_t* pixel = frame.at(static_cast<int>(p.column), static_cast<int>(p.row));
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(pixel[c], texel[c], 6) << "floor at x " << x << " z " << z;
            }
            black += texel[0] < 30;
            white += texel[0] > 225;
            ++checked;
        }
    }
    EXPECT_GT(black, 100);
    EXPECT_GT(white, 100);

    // The logo: 3 wide, 2 deep, at (0, -1, -2.3), its +y edge away from the
    // viewer; opaque texels show as they are, keyed ones show the floor.
    int opaque = 0, keyed = 0;
    for (double ly = -0.995; ly < 1; ly += 0.01) {
        for (double lx = -1.495; lx < 1.5; lx += 0.01) {
            const double s = (lx + 1.5) / 3, t = (1 - ly) / 2;
            const Pixel p = projectPoint(lx, -1, -2.3 - ly, 2.0);
            if (!inBand(p) || !logo.uniformAround(s, t, 2)) {
                continue;
            }
            const uint8_t* pixel = frame.at(static_cast<int>(p.column), static_cast<int>(p.row));
            const uint8_t* texel = logo.texel(s, t);
            if (texel[3] == 255) {
                for (int c = 0; c < 3; ++c) {
                    EXPECT_NEAR(pixel[c], texel[c], 6) << "logo at s " << s << " t " << t;
                }
                ++opaque;
            } else {
                bool uniform = false;
                const uint8_t* floor = floorTexel(checker, lx, -2.3 - ly, 0, &uniform);
                if (uniform) {
                    for (int c = 0; c < 3; ++c) {
                        EXPECT_NEAR(pixel[c], floor[c], 6) << "keyed logo at s " << s << " t " << t;
                    }
                    ++keyed;
                }
            }
        }
    }
    EXPECT_GT(opaque, 200);
    EXPECT_GT(keyed, 50);
}

TEST(Frames, MeshFloatsWhereItsPathPutsIt)
{
    // Moments when the credit panel is dark, so the mirrored box sees sky.
    for (double seconds : {0.0, 15.7, 31.4, 47.1}) {
        const float t = showTimeAt(seconds);
        const double x = std::cos(0.1f * t);
        const double y = 0.5 * std::sin(0.1f * t) + 1;
        const double z = std::sin(0.06666667f * t) - 5;
        const Pixel centre = projectPoint(x, y, z, 2.0);
        const Frame frame = captureAt(seconds);
        const int half = 30;
        const int there = brightPixels(frame, static_cast<int>(centre.column),
                                       static_cast<int>(centre.row), half);
        // The same box mirrored to the other side of the picture.
        const int elsewhere = brightPixels(frame, PROBE_WIDTH - static_cast<int>(centre.column),
                                           static_cast<int>(centre.row), half);
        const int area = (2 * half + 1) * (2 * half + 1);
        EXPECT_GT(there, area / 8) << "at " << seconds << " s";
        EXPECT_GT(there, 4 * elsewhere + 1) << "at " << seconds << " s";
    }
}

namespace {

// How many bright panel texels (sampled below the scroller) show at least
// at the panel's alpha in the frame; filtering gives at least the darkest
// texel around the sample.
struct PanelMatch {
    int sampled = 0;
    int shown = 0;
};

}  // namespace

static PanelMatch matchPanel(const Frame& frame, const Picture& panel, int alpha)
{
    PanelMatch match;
    for (double ly = -2.45; ly < 2.45; ly += 0.02) {
        for (double lx = -2.45; lx < 2.45; lx += 0.02) {
            const double s = (lx + 2.5) / 5, t = (2.5 - ly) / 5;
            const Pixel p = projectPoint(lx, ly, -5, 2.0);
            int least[3];
            panel.minAround(s, t, 2, least);
            if (p.row < 150 || !inBand(p) || least[2] < 150) {
                continue;
            }
            const uint8_t* pixel = frame.at(static_cast<int>(p.column), static_cast<int>(p.row));
            bool shown = true;
            for (int c = 0; c < 3; ++c) {
                shown = shown && pixel[c] + 4 >= least[c] * alpha / 255;
            }
            ++match.sampled;
            match.shown += shown;
        }
    }
    return match;
}

TEST(Frames, CreditPanelsAbsentAtZeroAndBrightAtTheirPeaksInTurn)
{
    const Picture greetings = loadPicture(assetGreetingsPng, assetGreetingsPngSize, 0);
    const Picture credits = loadPicture(assetCreditsPng, assetCreditsPngSize, 0);
    ASSERT_EQ(greetings.width, 256);
    ASSERT_EQ(credits.width, 256);

    EXPECT_EQ(panelAlpha(showTimeAt(0)), 0);
    const Frame start = captureAt(0);
    const PanelMatch atStart = matchPanel(start, greetings, 255);
    ASSERT_GT(atStart.sampled, 100);
    EXPECT_LT(atStart.shown * 5, atStart.sampled) << "a panel shows at time 0";

    // sin(0.02 t) peaks at t = 78.5 (the greetings) and -1 at t = 235.6 (the credits).
    const double firstPeak = 7.86, secondPeak = 23.56;
    ASSERT_GE(panelAlpha(showTimeAt(firstPeak)), 254);
    ASSERT_GE(panelAlpha(showTimeAt(secondPeak)), 254);
    const Frame first = captureAt(firstPeak);
    const PanelMatch greetingsFirst =
        matchPanel(first, greetings, panelAlpha(showTimeAt(firstPeak)));
    EXPECT_GT(greetingsFirst.shown * 100, greetingsFirst.sampled * 98);
    const Frame second = captureAt(secondPeak);
    const PanelMatch creditsSecond =
        matchPanel(second, credits, panelAlpha(showTimeAt(secondPeak)));
    EXPECT_GT(creditsSecond.shown * 100, creditsSecond.sampled * 98);
    // And not the other way round.
    const PanelMatch creditsFirst = matchPanel(first, credits, 255);
    EXPECT_LT(creditsFirst.shown * 100, creditsFirst.sampled * 90);
}

TEST(Frames, ScrollerEntersAtTheTopWithItsFirstLetter)
{
    const float width = textWidth(scrollerText);
    ASSERT_GT(width, 50.0f);
    const unsigned first = static_cast<unsigned char>(scrollerText[0]);
    const float inkStart = 240 - 0.5f * width + glyphMetrics[first].originX;
    // The first tick at which the ink's left end lies 4 units right of centre or less.
    int ticks = 0;
    float t = 0;
    while (inkStart - t * 0.33333334f > 4.0f) {
        t += 0.2f;
        ++ticks;
    }
    ASSERT_LT(ticks, 7200) << "the scroller never enters within the show";
    const double seconds = ticks * 0.02 + 0.001;
    ASSERT_EQ(showTimeAt(seconds), t);
    const Frame frame = captureAt(seconds);

    const double left = inkStart - t * 0.33333334f;
    const double baseline = 11 - std::fabs(std::sin(t * 0.47619047619047616));
    const Pixel edge = projectPoint(left, baseline, -20, 1.0);
    const Pixel capTop = projectPoint(left, baseline + 0.6, -20, 1.0);
    const int bottomRow = static_cast<int>(edge.row) - 1;
    const int topRow = std::max(PROBE_BAND_TOP, static_cast<int>(capTop.row) + 1);
    ASSERT_GT(bottomRow, topRow);
    int before = 0, after = 0;
    const int column = static_cast<int>(edge.column);
    for (int row = topRow; row <= bottomRow; ++row) {
        for (int dx = 4; dx < 40; ++dx) {
            before += isWhite(frame.at(column - dx, row), 220);
            after += isWhite(frame.at(column + dx, row), 220);
        }
    }
    EXPECT_GT(after, 40) << "no letters right of the scroller's left end";
    EXPECT_LT(before, 6) << "letters left of the scroller's left end";
}

TEST(Frames, FlashAtItsPeakTurnsTheBandWhiteAroundThePhotograph)
{
    const Picture photo = loadPicture(assetPhotoPng, assetPhotoPngSize, -1);
    ASSERT_EQ(photo.width, 256);
    const Frame frame = captureAt(20, 253);
    const Pixel photoLeft = projectPoint(-6, 0, -10, 2.0);
    const Pixel photoRight = projectPoint(6, 0, -10, 2.0);
    int darkOutside = 0;
    for (int row = PROBE_BAND_TOP; row < PROBE_BAND_BOTTOM; ++row) {
        for (int column = 0; column < PROBE_WIDTH; ++column) {
            if (column >= photoLeft.column - 2 && column <= photoRight.column + 2) {
                continue;
            }
            darkOutside += !isWhite(frame.at(column, row), 245);
        }
    }
    EXPECT_EQ(darkOutside, 0);

    // Where the scene beneath is black, the white panels show the overlay's
    // alpha byte itself: 253 at the peak, never a full 255.
    const Frame unflashed = captureAt(20, 0);
    int overBlack = 0;
    for (int row = PROBE_BAND_TOP; row < PROBE_BAND_BOTTOM; ++row) {
        for (int column = 0; column < photoLeft.column - 2; ++column) {
            const uint8_t* below = unflashed.at(column, row);
            if ((below[0] | below[1] | below[2]) != 0) {
                continue;
            }
            const uint8_t* pixel = frame.at(column, row);
            ASSERT_EQ(pixel[0], 253) << "column " << column << " row " << row;
            ASSERT_EQ(pixel[1], 253);
            ASSERT_EQ(pixel[2], 253);
            ++overBlack;
        }
    }
    EXPECT_GT(overBlack, 100) << "too few black pixels beside the photograph to read the alpha";

    int sampled = 0;
    for (double ly = -5.7; ly < 5.7; ly += 0.05) {
        for (double lx = -5.9; lx < 5.9; lx += 0.05) {
            const double s = (lx + 6) / 12, t = (6 - ly) / 12;
            const Pixel p = projectPoint(lx, ly, -10, 2.0);
            if (!inBand(p) || !photo.uniformAround(s, t, 2)) {
                continue;
            }
            const uint8_t* pixel = frame.at(static_cast<int>(p.column), static_cast<int>(p.row));
            const uint8_t* texel = photo.texel(s, t);
            for (int c = 0; c < 3; ++c) {
                // 253/255 of the photograph over 2/255 of the scene.
                EXPECT_NEAR(pixel[c], texel[c] * 253.0 / 255, 4)
                    << "photo at s " << s << " t " << t;
            }
            ++sampled;
        }
    }
    EXPECT_GT(sampled, 1000);
}

// A folder of this process's own under the temporary folder, removed at
// exit: CTest runs the cases as separate processes side by side.
static std::string scratch;

static void removeScratch()
{
    std::filesystem::remove_all(scratch);
}

static std::string scratchFolder()
{
    if (scratch.empty()) {
        std::string pattern = std::string(testing::TempDir()) + "werule-frames-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) {
            scratch = pattern + "/";
            atexit(removeScratch);
        }
    }
    return scratch;
}

static std::string captureTo(const char* name, const char* arguments)
{
    const std::string path = scratchFolder() + name;
    const std::string command =
        std::string(WERULE_CAPTURE_TOOL) + " " + arguments + " --out " + path;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

static std::string fileBytes(const std::string& path)
{
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return bytes;
    }
    char block[65536];
    size_t got = 0;
    while ((got = fread(block, 1, sizeof block, file)) > 0) {
        bytes.append(block, got);
    }
    fclose(file);
    return bytes;
}

TEST(CaptureTool, SameSeedGivesTheSameBytesAndAnotherSeedOtherStars)
{
    const std::string a = fileBytes(captureTo("capture-a.png", "--at 12.34 --seed 7"));
    const std::string b = fileBytes(captureTo("capture-b.png", "--at 12.34 --seed 7"));
    const std::string c = fileBytes(captureTo("capture-c.png", "--at 12.34 --seed 8"));
    ASSERT_GT(a.size(), 1000u);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(a.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
}

TEST(CaptureTool, RefusesWhatItCannotDo)
{
    const std::string tool = WERULE_CAPTURE_TOOL;
    const std::string out = " --out " + scratchFolder() + "refused.png";
    for (const char* arguments : {"", "--at -1", "--at x", "--at 1 --size 0x5",
                                  "--at 1 --flash 254", "--at 1 --seed 1.5", "--at 1 --bogus 3"}) {
        const std::string command = tool + " " + arguments + out + " 2>/dev/null";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << arguments;
    }
}

TEST(CaptureTool, AnySizeGetsTheLetterboxOfItsHeight)
{
    const struct {
        const char* size;
        int width, height, bandTop, bandHeight;  // band rows counted from the top
    } cases[] = {{"1024x768", 1024, 768, 128, 512},
                 {"640x601", 640, 601, 101, 400},
                 {"320x599", 320, 599, 101, 399}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::string arguments = std::string("--at 9 --size ") + c.size;
        const std::string bytes = fileBytes(captureTo("capture-size.png", arguments.c_str()));
        ASSERT_GT(bytes.size(), 100u);
        Image* image = decodePng(reinterpret_cast<const uint8_t*>(bytes.data()),
                                 static_cast<int32_t>(bytes.size()));
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->width, c.width);
        EXPECT_EQ(image->height, c.height);
        int firstLit = -1, lastLit = -1;
        for (int row = 0; row < image->height; ++row) {
            // The Image holds the bottom row first.
            const uint8_t* pixels = imagePixels(image) +
                                    static_cast<size_t>(image->height - 1 - row) * image->width * 4;
            bool lit = false;
            for (int column = 0; column < image->width && !lit; ++column) {
                lit = (pixels[4 * column] | pixels[4 * column + 1] | pixels[4 * column + 2]) != 0;
            }
            if (lit) {
                firstLit = firstLit < 0 ? row : firstLit;
                lastLit = row;
            }
        }
        free(image);
        EXPECT_EQ(firstLit, c.bandTop);
        EXPECT_EQ(lastLit - firstLit + 1, c.bandHeight);
    }
}
