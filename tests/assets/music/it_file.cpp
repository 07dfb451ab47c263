// Reader of Impulse Tracker files for the asset checks (see it_file.h).
#include "it_file.h"

#include <cstdio>

static uint32_t read16(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at] | (b[at + 1] << 8));
}
static uint32_t read32(const std::vector<uint8_t>& b, size_t at)
{
    return read16(b, at) | (read16(b, at + 2) << 16);
}

static bool fail(std::string* error, const std::string& why)
{
    *error = why;
    return false;
}

// The packed rows of one pattern, with the per-channel "same as last" state
// the format keeps.
static bool unpackPattern(const std::vector<uint8_t>& b, size_t at, ItPattern* pattern,
                          std::string* error)
{
    if (at + 8 > b.size())
        return fail(error, "pattern header past the end");
    size_t length = read16(b, at);
    pattern->rows = int(read16(b, at + 2));
    if (pattern->rows < 32 || pattern->rows > 200)
        return fail(error, "pattern row count out of range");
    size_t pos = at + 8, end = pos + length;
    if (end > b.size())
        return fail(error, "pattern data past the end");
    pattern->cells.assign(size_t(pattern->rows) * 64, ItCell());
    int lastMask[64] = {};
    ItCell last[64];
    for (int row = 0; row < pattern->rows; row++) {
        for (;;) {
            if (pos >= end)
                return fail(error, "pattern data ends inside a row");
            int what = b[pos++];
            if (what == 0)
                break;
            int channel = (what - 1) & 63;
            if (what & 0x80) {
                if (pos >= end)
                    return fail(error, "pattern mask past the end");
                lastMask[channel] = b[pos++];
            }
            int mask = lastMask[channel];
            ItCell& cell = pattern->cells[size_t(row) * 64 + size_t(channel)];
            if (mask & 1) {
                if (pos >= end)
                    return fail(error, "note past the end");
                last[channel].note = b[pos++];
            }
            if (mask & 2) {
                if (pos >= end)
                    return fail(error, "instrument past the end");
                last[channel].instrument = b[pos++];
            }
            if (mask & 4) {
                if (pos >= end)
                    return fail(error, "volume past the end");
                last[channel].volume = b[pos++];
            }
            if (mask & 8) {
                if (pos + 1 >= end)
                    return fail(error, "effect past the end");
                last[channel].command = b[pos++];
                last[channel].param = b[pos++];
            }
            if (mask & (1 | 16))
                cell.note = last[channel].note;
            if (mask & (2 | 32))
                cell.instrument = last[channel].instrument;
            if (mask & (4 | 64))
                cell.volume = last[channel].volume;
            if (mask & (8 | 128)) {
                cell.command = last[channel].command;
                cell.param = last[channel].param;
            }
        }
    }
    if (pos != end)
        return fail(error, "pattern data longer than its rows");
    return true;
}

bool readItFile(const std::vector<uint8_t>& b, ItFile* f, std::string* error)
{
    if (b.size() < 192)
        return fail(error, "shorter than the header");
    f->magic.assign(reinterpret_cast<const char*>(b.data()), 4);
    f->orderCount = int(read16(b, 32));
    f->instrumentCount = int(read16(b, 34));
    f->sampleCount = int(read16(b, 36));
    f->patternCount = int(read16(b, 38));
    f->createdWith = int(read16(b, 40));
    f->compatibleWith = int(read16(b, 42));
    f->flags = int(read16(b, 44));
    f->special = int(read16(b, 46));
    f->globalVolume = b[48];
    f->mixVolume = b[49];
    f->speed = b[50];
    f->tempo = b[51];
    for (int c = 0; c < 64; c++) {
        f->channelPan[c] = b[64 + c];
        f->channelVolume[c] = b[128 + c];
    }
    size_t at = 192;
    size_t tables = at + size_t(f->orderCount) +
                    4 * size_t(f->instrumentCount + f->sampleCount + f->patternCount);
    if (tables > b.size())
        return fail(error, "offset tables past the end");
    f->orders.assign(b.begin() + long(at), b.begin() + long(at) + f->orderCount);
    at += size_t(f->orderCount);

    for (int i = 0; i < f->instrumentCount; i++, at += 4) {
        size_t p = read32(b, at);
        if (p + 554 > b.size())
            return fail(error, "instrument header past the end");
        if (std::string(reinterpret_cast<const char*>(&b[p]), 4) != "IMPI")
            return fail(error, "instrument without IMPI");
        ItInstrument ins;
        ins.globalVolume = b[p + 24];
        for (int n = 0; n < 120; n++)
            ins.keyboardSamples[n] = b[p + 64 + 2 * size_t(n) + 1];
        f->instruments.push_back(ins);
    }
    for (int i = 0; i < f->sampleCount; i++, at += 4) {
        size_t p = read32(b, at);
        if (p + 80 > b.size())
            return fail(error, "sample header past the end");
        if (std::string(reinterpret_cast<const char*>(&b[p]), 4) != "IMPS")
            return fail(error, "sample without IMPS");
        ItSample s;
        s.flags = b[p + 18];
        s.convert = b[p + 46];
        s.length = read32(b, p + 48);
        s.loopBegin = read32(b, p + 52);
        s.loopEnd = read32(b, p + 56);
        s.c5Speed = read32(b, p + 60);
        s.dataOffset = read32(b, p + 72);
        if (s.flags & 1) {
            uint64_t bytes = uint64_t(s.length) * ((s.flags & 2) ? 2 : 1) * ((s.flags & 4) ? 2 : 1);
            if (s.dataOffset + bytes > b.size())
                return fail(error, "sample data past the end");
        }
        f->samples.push_back(s);
    }
    for (int i = 0; i < f->patternCount; i++, at += 4) {
        size_t p = read32(b, at);
        ItPattern pattern;
        if (p == 0) {
            pattern.rows = 64;
            pattern.cells.assign(64 * 64, ItCell());
        } else if (!unpackPattern(b, p, &pattern, error)) {
            return false;
        }
        f->patterns.push_back(pattern);
    }
    return true;
}

std::vector<uint8_t> readCommittedModule()
{
    std::vector<uint8_t> bytes;
    FILE* in = std::fopen(WERULE_ASSETS_DIR "/music.it", "rb");
    if (!in)
        return bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    std::fclose(in);
    return bytes;
}

int rowsPlayed(const ItFile& file, int pattern)
{
    const ItPattern& p = file.patterns[size_t(pattern)];
    for (int row = 0; row < p.rows; row++)
        for (int c = 0; c < 64; c++)
            if (p.at(row, c).command == 2 || p.at(row, c).command == 3)
                return row + 1;
    return p.rows;
}
