// The committed module as libopenmpt plays it: it loads without a word,
// reports its layout, reaches the show's cue positions at the right times,
// loops after its last order, sounds in every section and never clips.
#include "it_file.h"

#include <libopenmpt/libopenmpt.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

static constexpr int RATE = 44100;
static constexpr int CHUNK = 32;                 // frames per read: position resolution 0.7 ms
static constexpr double RENDER_SECONDS = 152.0;  // past the end, into the second pass
static const int FLASH_ORDERS[7] = {15, 17, 21, 23, 25, 27, 29};

namespace {

// What libopenmpt logged or reported while loading.
struct LoadMessages {
    std::vector<std::string> log;
    std::vector<int> errors;
};

}  // namespace

static void recordLog(const char* message, void* user)
{
    static_cast<LoadMessages*>(user)->log.push_back(message ? message : "");
}

static int recordError(int error, void* user)
{
    static_cast<LoadMessages*>(user)->errors.push_back(error);
    return OPENMPT_ERROR_FUNC_RESULT_NONE;
}

static openmpt_module* loadModule(const std::vector<uint8_t>& bytes, LoadMessages* messages)
{
    int error = 0;
    const char* errorMessage = nullptr;
    openmpt_module* module =
        openmpt_module_create_from_memory2(bytes.data(), bytes.size(), recordLog, messages,
                                           recordError, messages, &error, &errorMessage, nullptr);
    if (errorMessage)
        openmpt_free_string(errorMessage);
    return module;
}

static std::string metadata(openmpt_module* module, const char* key)
{
    const char* value = openmpt_module_get_metadata(module, key);
    std::string text = value ? value : "";
    openmpt_free_string(value);
    return text;
}

namespace {

// One visit of a row during the render: where it starts and what it holds.
struct RowVisit {
    int order, row;
    long startFrame;
    long frames = 0;
    double sumSquares = 0.0;  // over both channels
    float peak = 0.0f;
};

// One render of the module with looping on, from start to RENDER_SECONDS.
struct Render {
    bool loaded = false;
    std::vector<RowVisit> visits;
    float channelLoudest[13] = {};  // highest VU each channel reached in the first pass
    float peak = 0.0f;              // largest sample magnitude
    long int16Clipped = 0;          // int16 render: samples at full scale
    double durationSeconds = 0.0;
    int firstPassVisits = 0;  // visits before the loop back to order 0
};

}  // namespace

static Render render;
static ItFile file;

static void renderModule()
{
    std::vector<uint8_t> bytes = readCommittedModule();
    std::string error;
    if (!readItFile(bytes, &file, &error))
        return;
    LoadMessages messages;
    openmpt_module* module = loadModule(bytes, &messages);
    if (!module)
        return;
    render.loaded = true;
    render.durationSeconds = openmpt_module_get_duration_seconds(module);
    openmpt_module_set_repeat_count(module, -1);
    float buffer[CHUNK * 2];
    long total = 0;
    bool looped = false;
    while (total < long(RENDER_SECONDS * RATE)) {
        size_t got = openmpt_module_read_interleaved_float_stereo(module, RATE, CHUNK, buffer);
        if (got == 0)
            break;
        int order = openmpt_module_get_current_order(module);
        int row = openmpt_module_get_current_row(module);
        if (render.visits.empty() || render.visits.back().order != order ||
            render.visits.back().row != row) {
            if (!render.visits.empty() && order == 0 && row == 0 && !looped) {
                looped = true;
                render.firstPassVisits = int(render.visits.size());
            }
            render.visits.push_back(RowVisit{order, row, total});
        }
        RowVisit& visit = render.visits.back();
        for (size_t i = 0; i < 2 * got; i++) {
            visit.sumSquares += double(buffer[i]) * buffer[i];
            visit.peak = std::fmax(visit.peak, std::fabs(buffer[i]));
        }
        visit.frames += long(got);
        render.peak = std::fmax(render.peak, visit.peak);
        if (!looped)
            for (int c = 0; c < 13; c++)
                render.channelLoudest[c] =
                    std::fmax(render.channelLoudest[c],
                              openmpt_module_get_current_channel_vu_mono(module, c));
        total += long(got);
    }
    if (!looped)
        render.firstPassVisits = int(render.visits.size());
    openmpt_module_destroy(module);

    // The same once more through the 16-bit renderer the show's sound layer uses.
    module = loadModule(bytes, &messages);
    int16_t samples[1024 * 2];
    size_t got;
    while ((got = openmpt_module_read_interleaved_stereo(module, RATE, 1024, samples)) > 0)
        for (size_t i = 0; i < 2 * got; i++)
            if (samples[i] >= 32767 || samples[i] <= -32767)
                render.int16Clipped++;
    openmpt_module_destroy(module);
}

namespace {

class MusicPlayback : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        if (!render.loaded)
            renderModule();
    }
};

}  // namespace

// Seconds from the start at which the first pass reaches (order, row); -1 if never.
static double secondsAt(int order, int row)
{
    for (int i = 0; i < render.firstPassVisits; i++)
        if (render.visits[size_t(i)].order == order && render.visits[size_t(i)].row == row)
            return double(render.visits[size_t(i)].startFrame) / RATE;
    return -1.0;
}

// Nominal seconds to (order, row): the rows played before it at
// speed * 2.5 / tempo seconds a row.
static double nominalSecondsAt(int order, int row)
{
    int rows = row;
    for (int o = 0; o < order; o++)
        rows += rowsPlayed(file, file.orders[size_t(o)]);
    return rows * file.speed * 2.5 / file.tempo;
}

static double rmsDecibels(double sumSquares, long frames)
{
    return frames > 0 ? 10.0 * std::log10(sumSquares / (2.0 * double(frames)) + 1e-20) : -200.0;
}

TEST(MusicLoad, LibopenmptLoadsFromMemoryWithoutAWord)
{
    std::vector<uint8_t> bytes = readCommittedModule();
    ASSERT_FALSE(bytes.empty());
    LoadMessages messages;
    openmpt_module* module = loadModule(bytes, &messages);
    ASSERT_NE(module, nullptr);
    EXPECT_TRUE(messages.log.empty())
        << messages.log.size() << " log lines, first: " << messages.log[0];
    EXPECT_TRUE(messages.errors.empty());
    EXPECT_EQ(metadata(module, "warnings"), "");
    EXPECT_EQ(metadata(module, "type"), "it");
    EXPECT_NE(metadata(module, "type_long").find("Impulse Tracker"), std::string::npos);
    EXPECT_EQ(openmpt_module_get_num_orders(module), 30);
    EXPECT_EQ(openmpt_module_get_num_patterns(module), 14);
    EXPECT_EQ(openmpt_module_get_num_channels(module), 13);
    for (int p = 0; p < 14; p++)
        EXPECT_EQ(openmpt_module_get_pattern_num_rows(module, p), 64);
    openmpt_module_destroy(module);
}

TEST(MusicLoad, TheRecorderHearsWhatLibopenmptSaysAboutABrokenModule)
{
    // Guards the check above: a module cut inside its header must be refused
    // through the recording callbacks, so silence there means a clean load.
    std::vector<uint8_t> bytes = readCommittedModule();
    ASSERT_GT(bytes.size(), 100u);
    bytes.resize(100);
    LoadMessages messages;
    openmpt_module* module = loadModule(bytes, &messages);
    EXPECT_EQ(module, nullptr);
    if (module)
        openmpt_module_destroy(module);
    EXPECT_FALSE(messages.log.empty() && messages.errors.empty());
}

TEST_F(MusicPlayback, RowsLastAbout77MillisecondsEverywhere)
{
    ASSERT_TRUE(render.loaded);
    ASSERT_GT(render.firstPassVisits, 1000);
    long shortest = 1L << 40, longest = 0;
    for (int i = 1; i + 1 < render.firstPassVisits; i++) {
        long frames = render.visits[size_t(i) + 1].startFrame - render.visits[size_t(i)].startFrame;
        shortest = std::min(shortest, frames);
        longest = std::max(longest, frames);
    }
    EXPECT_GT(shortest, long(0.020 * RATE)) << "a cue row would slip between two 20 ms ticks";
    double nominal = file.speed * 2.5 / file.tempo * RATE;
    EXPECT_NEAR(double(shortest), nominal, 2.0 * CHUNK);
    EXPECT_NEAR(double(longest), nominal, 2.0 * CHUNK);
    EXPECT_NEAR(render.durationSeconds, nominalSecondsAt(30, 0), 0.3);
}

TEST_F(MusicPlayback, FirstPassVisitsEveryRowOfTheOrderListInTurn)
{
    ASSERT_TRUE(render.loaded);
    int expected = 0;
    for (int o = 0; o < 30; o++)
        expected += rowsPlayed(file, file.orders[size_t(o)]);
    ASSERT_EQ(render.firstPassVisits, expected);
    int i = 0;
    for (int o = 0; o < 30; o++)
        for (int row = 0; row < rowsPlayed(file, file.orders[size_t(o)]); row++, i++) {
            ASSERT_EQ(render.visits[size_t(i)].order, o) << "visit " << i;
            ASSERT_EQ(render.visits[size_t(i)].row, row) << "visit " << i;
        }
}

TEST_F(MusicPlayback, CuePositionsComeAtTheShowsTimes)
{
    ASSERT_TRUE(render.loaded);
    for (int order : FLASH_ORDERS)
        for (int row : {52, 56}) {
            double at = secondsAt(order, row);
            EXPECT_NEAR(at, nominalSecondsAt(order, row), 0.2)
                << "order " << order << " row " << row;
            std::printf("flash cue order %2d row %d at %.3f s\n", order, row, at);
        }
    double first = secondsAt(15, 52), end = secondsAt(29, 62);
    std::printf("order 15 row 52 at %.3f s, order 29 row 62 at %.3f s\n", first, end);
    EXPECT_NEAR(first, 74.3, 0.15);
    EXPECT_NEAR(end, 144.15, 0.15);
}

TEST_F(MusicPlayback, LoopsBackToTheFirstOrderAfterTheLast)
{
    ASSERT_TRUE(render.loaded);
    ASSERT_LT(size_t(render.firstPassVisits), render.visits.size())
        << "the render never came back to order 0";
    const RowVisit& last = render.visits[size_t(render.firstPassVisits) - 1];
    EXPECT_EQ(last.order, 29);
    EXPECT_EQ(last.row, 63);
    const RowVisit& again = render.visits[size_t(render.firstPassVisits)];
    EXPECT_EQ(again.order, 0);
    EXPECT_EQ(again.row, 0);
    // and the second pass plays on through the same rows
    ASSERT_GT(render.visits.size(), size_t(render.firstPassVisits) + 48);
    EXPECT_EQ(render.visits[size_t(render.firstPassVisits) + 48].order, 1);
}

TEST_F(MusicPlayback, EverySectionSoundsAndNothingClips)
{
    ASSERT_TRUE(render.loaded);
    std::printf("order pattern  rms dBFS  peak\n");
    for (int o = 0; o < 30; o++) {
        double sum = 0.0;
        long frames = 0;
        float peak = 0.0f;
        for (int i = 0; i < render.firstPassVisits; i++)
            if (render.visits[size_t(i)].order == o) {
                sum += render.visits[size_t(i)].sumSquares;
                frames += render.visits[size_t(i)].frames;
                peak = std::fmax(peak, render.visits[size_t(i)].peak);
            }
        double db = rmsDecibels(sum, frames);
        std::printf("%5d %7d  %8.1f  %.3f\n", o, file.orders[size_t(o)], db, double(peak));
        EXPECT_GT(db, o == 0 ? -40.0 : -30.0) << "order " << o << " is nearly silent";
    }
    EXPECT_LT(render.peak, 1.0f) << "float render reaches full scale";
    EXPECT_GT(render.peak, 0.25f) << "the mix is far too quiet";
    EXPECT_EQ(render.int16Clipped, 0) << "16-bit render clips";
    for (int c = 0; c < 13; c++) {
        std::printf("channel %2d loudest VU %.3f\n", c + 1, double(render.channelLoudest[c]));
        EXPECT_GT(render.channelLoudest[c], 0.05f) << "channel " << c + 1 << " never sounds";
    }
}

TEST_F(MusicPlayback, FlashRowsAreAccentsOverTheRowsBefore)
{
    ASSERT_TRUE(render.loaded);
    for (int order : FLASH_ORDERS) {
        // Loudness of the rows 44..51 before the first accent against rows 52..59.
        double before = 0.0, accent = 0.0;
        long beforeFrames = 0, accentFrames = 0;
        float accentPeak = 0.0f, orderPeak = 0.0f;
        for (int i = 0; i < render.firstPassVisits; i++) {
            const RowVisit& v = render.visits[size_t(i)];
            if (v.order != order)
                continue;
            orderPeak = std::fmax(orderPeak, v.peak);
            if (v.row >= 44 && v.row < 52) {
                before += v.sumSquares;
                beforeFrames += v.frames;
            }
            if (v.row >= 52 && v.row < 60) {
                accent += v.sumSquares;
                accentFrames += v.frames;
                accentPeak = std::fmax(accentPeak, v.peak);
            }
        }
        double rise = rmsDecibels(accent, accentFrames) - rmsDecibels(before, beforeFrames);
        std::printf(
            "order %d: accents %.1f dB over the rows before, peak %.3f of the order's %.3f\n",
            order, rise, double(accentPeak), double(orderPeak));
        EXPECT_GT(rise, 2.0) << "order " << order;
        EXPECT_GE(accentPeak, orderPeak * 0.999f)
            << "order " << order << ": the accents are not its loudest moment";
    }
}
