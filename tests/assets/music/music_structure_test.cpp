// The committed module's header, order list, patterns and samples, read with
// the test's own reader: the facts the show's cue timing rests on.
#include "it_file.h"

#include <gtest/gtest.h>

// Order entries in playing order, the end marker excluded.
static const int ORDERS[30] = {0,  1,  2,  3, 4, 5,  6,  7,  7,  8,  8,  7,  9,  10, 11,
                               12, 11, 12, 3, 4, 11, 12, 11, 12, 11, 12, 11, 12, 3,  13};
static const int FLASH_ORDERS[7] = {15, 17, 21, 23, 25, 27, 29};

namespace {

class MusicFile : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        std::vector<uint8_t> bytes = readCommittedModule();
        readOk = readItFile(bytes, &file, &readError);
    }
    static ItFile file;
    static bool readOk;
    static std::string readError;
};

}  // namespace

ItFile MusicFile::file;
bool MusicFile::readOk;
std::string MusicFile::readError;

TEST_F(MusicFile, HeaderHoldsTheShowsPlaybackSettings)
{
    ASSERT_TRUE(readOk) << readError;
    EXPECT_EQ(file.magic, "IMPM");
    EXPECT_EQ(file.orderCount, 31);
    EXPECT_EQ(file.patternCount, 14);
    EXPECT_TRUE(file.flags & 1) << "stereo";
    EXPECT_TRUE(file.flags & 4) << "instrument mode";
    EXPECT_EQ(file.flags & ~0x002D, 0)
        << "no flag beyond stereo, instruments, linear slides, linked G";
    EXPECT_GE(file.compatibleWith, 0x0200) << "instrument headers in the 2.x layout";
    EXPECT_EQ(file.globalVolume, 128);
    EXPECT_EQ(file.speed, 5);
    EXPECT_EQ(file.tempo, 162);
    EXPECT_GT(file.instrumentCount, 0);
    EXPECT_GT(file.sampleCount, 0);
}

TEST_F(MusicFile, ChannelsOneToThirteenAreCentredTheRestDisabled)
{
    ASSERT_TRUE(readOk) << readError;
    for (int c = 0; c < 64; c++) {
        EXPECT_EQ(file.channelPan[c], c < 13 ? 32 : 255) << "channel " << c + 1;
        EXPECT_EQ(file.channelVolume[c], 64) << "channel " << c + 1;
    }
}

TEST_F(MusicFile, OrderListIsTheShowsThirtyEntriesThenTheEndMarker)
{
    ASSERT_TRUE(readOk) << readError;
    ASSERT_EQ(file.orders.size(), 31u);
    for (int i = 0; i < 30; i++)
        EXPECT_EQ(file.orders[size_t(i)], ORDERS[i]) << "order " << i;
    EXPECT_EQ(file.orders[30], 255);
}

TEST_F(MusicFile, PatternsHave64RowsAndBreakOnRow47OnlyWhereTheShowExpects)
{
    ASSERT_TRUE(readOk) << readError;
    for (int p = 0; p < 14; p++) {
        const ItPattern& pattern = file.patterns[size_t(p)];
        EXPECT_EQ(pattern.rows, 64) << "pattern " << p;
        bool shortened = p == 0 || p == 9 || p == 10;
        for (int row = 0; row < pattern.rows; row++)
            for (int c = 0; c < 64; c++) {
                const ItCell& cell = pattern.at(row, c);
                if (c >= 13) {
                    EXPECT_TRUE(cell.note < 0 && cell.instrument == 0 && cell.command == 0)
                        << "disabled channel " << c + 1 << " used in pattern " << p << " row "
                        << row;
                }
                if (cell.command == 3) {
                    EXPECT_TRUE(shortened && row == 47 && cell.param == 0)
                        << "break in pattern " << p << " row " << row;
                }
                EXPECT_NE(cell.command, 2) << "order jump in pattern " << p << " row " << row;
            }
        EXPECT_EQ(rowsPlayed(file, p), shortened ? 48 : 64) << "pattern " << p;
    }
}

TEST_F(MusicFile, NothingButSpeedFiveOnPatternOneChangesTheRowLength)
{
    ASSERT_TRUE(readOk) << readError;
    for (int p = 0; p < 14; p++) {
        const ItPattern& pattern = file.patterns[size_t(p)];
        for (int row = 0; row < pattern.rows; row++)
            for (int c = 0; c < 64; c++) {
                const ItCell& cell = pattern.at(row, c);
                bool speed = cell.command == 1;   // Axx
                bool tempo = cell.command == 20;  // Txx
                bool delay = cell.command == 19 &&
                             ((cell.param >> 4) == 0x6 || (cell.param >> 4) == 0xE);  // S6x, SEx
                if (speed) {
                    EXPECT_TRUE(p == 1 && row == 0 && cell.param == 5)
                        << "speed in pattern " << p << " row " << row;
                }
                EXPECT_FALSE(tempo) << "tempo in pattern " << p << " row " << row;
                EXPECT_FALSE(delay) << "row delay in pattern " << p << " row " << row;
            }
    }
}

// The three conditions the show's cues rest on.
TEST_F(MusicFile, CueOrdersExistWithTheirRows)
{
    ASSERT_TRUE(readOk) << readError;
    int playable = 0;
    while (playable < int(file.orders.size()) && file.orders[size_t(playable)] != 255)
        playable++;
    for (int order : FLASH_ORDERS) {
        ASSERT_LT(order, playable);
        EXPECT_GE(rowsPlayed(file, file.orders[size_t(order)]), 57) << "order " << order;
    }
    EXPECT_GE(rowsPlayed(file, file.orders[29]), 63);
    double rowSeconds = file.speed * 2.5 / file.tempo;
    EXPECT_GT(rowSeconds, 0.020);
}

TEST_F(MusicFile, SamplesAreSignedUncompressedAndLoopInsideTheirData)
{
    ASSERT_TRUE(readOk) << readError;
    bool eightBit = false, sixteenBit = false, stereo = false;
    for (size_t i = 0; i < file.samples.size(); i++) {
        const ItSample& s = file.samples[i];
        if (!(s.flags & 1))
            continue;
        EXPECT_EQ(s.convert & 1, 1) << "sample " << i + 1 << " signed";
        EXPECT_EQ(s.flags & 8, 0) << "sample " << i + 1 << " compressed";
        EXPECT_GT(s.length, 0u);
        EXPECT_GT(s.c5Speed, 1000u);
        if (s.flags & 16) {
            EXPECT_LT(s.loopBegin, s.loopEnd) << "sample " << i + 1;
            EXPECT_LE(s.loopEnd, s.length) << "sample " << i + 1;
        }
        (s.flags & 2 ? sixteenBit : eightBit) = true;
        if (s.flags & 4)
            stereo = true;
    }
    EXPECT_TRUE(eightBit && sixteenBit && stereo) << "8-bit, 16-bit and stereo samples";
    for (size_t i = 0; i < file.instruments.size(); i++)
        for (int n = 0; n < 120; n++) {
            int s = file.instruments[i].keyboardSamples[n];
            ASSERT_LE(s, int(file.samples.size())) << "instrument " << i + 1;
            if (s) {
                EXPECT_TRUE(file.samples[size_t(s - 1)].flags & 1)
                    << "instrument " << i + 1 << " plays an empty sample";
            }
        }
}

// Every note names an instrument that exists.
TEST_F(MusicFile, NotesUseExistingInstruments)
{
    ASSERT_TRUE(readOk) << readError;
    for (int p = 0; p < 14; p++) {
        const ItPattern& pattern = file.patterns[size_t(p)];
        for (int row = 0; row < pattern.rows; row++)
            for (int c = 0; c < 13; c++) {
                const ItCell& cell = pattern.at(row, c);
                EXPECT_LE(cell.instrument, int(file.instruments.size()))
                    << "pattern " << p << " row " << row;
                if (cell.note >= 0 && cell.note < 120) {
                    EXPECT_GT(cell.instrument, 0) << "pattern " << p << " row " << row;
                }
            }
    }
}
