// A reader of Impulse Tracker files for the asset checks, written apart from
// the generator: it follows the format's own description and accepts the
// packing shortcuts the generator never writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ItCell {
    int note = -1;       // 0..119, 254 cut, 255 off; -1 empty
    int instrument = 0;  // 0 empty
    int volume = -1;     // volume column; -1 empty
    int command = 0;     // effect number (A = 1); 0 empty
    int param = 0;
};

struct ItPattern {
    int rows = 0;
    std::vector<ItCell> cells;  // rows * 64, row-major
    const ItCell& at(int row, int channel) const
    {
        return cells[size_t(row) * 64 + size_t(channel)];
    }
};

struct ItSample {
    uint8_t flags = 0;    // 1 data, 2 16-bit, 4 stereo, 8 compressed, 16 loop
    uint8_t convert = 0;  // 1 signed
    uint32_t length = 0;  // frames
    uint32_t loopBegin = 0, loopEnd = 0;
    uint32_t c5Speed = 0;
    uint32_t dataOffset = 0;  // absolute
};

struct ItInstrument {
    int globalVolume = 0;      // 0..128
    int keyboardSamples[120];  // sample number per note, 0 none
};

struct ItFile {
    std::string magic;
    int orderCount = 0, instrumentCount = 0, sampleCount = 0, patternCount = 0;
    int createdWith = 0, compatibleWith = 0, flags = 0, special = 0;
    int globalVolume = 0, mixVolume = 0, speed = 0, tempo = 0;
    int channelPan[64] = {};
    int channelVolume[64] = {};
    std::vector<int> orders;  // all entries, the 255 end marker included
    std::vector<ItInstrument> instruments;
    std::vector<ItSample> samples;
    std::vector<ItPattern> patterns;
};

// Reads the whole file; false with a reason when any offset, length or
// magic word does not hold.
bool readItFile(const std::vector<uint8_t>& bytes, ItFile* file, std::string* error);

// The committed module's bytes (empty when it cannot be read).
std::vector<uint8_t> readCommittedModule();

// Rows an order entry plays: up to and including the row of the first
// pattern break (Cxx) or jump (Bxx), else all rows of its pattern.
int rowsPlayed(const ItFile& file, int pattern);
