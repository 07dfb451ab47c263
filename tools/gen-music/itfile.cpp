// gen-music: lays the module out as an Impulse Tracker 2.x file.
//
// File order: header (192 bytes), order list, instrument, sample and pattern
// parapointers, an empty edit history, the song message, the instrument
// headers (554 bytes each), the sample headers (80 bytes each), the packed
// patterns and the sample data. Every parapointer is an absolute file
// offset; lengths and loop points count sample frames.
#include "music.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>

// Module state: the file as it is built.
static uint8_t fileBytes[1 << 22];  // the whole file
static int fileSize;                // bytes written so far

static const char SONG_NAME[] = "We Rule the Floor";
static const char SONG_MESSAGE[] = "werule - music made by gen-music\r"
                                   "A minor, speed 5, tempo 162\r"
                                   "Every sample is synthesized.";

constexpr int HEADER_SIZE = 192;
constexpr int INSTRUMENT_HEADER_SIZE = 554;
constexpr int SAMPLE_HEADER_SIZE = 80;
constexpr int ENVELOPE_SIZE = 82;

// Main thread: appends bytes little-endian.
static void put8(int value)
{
    fileBytes[fileSize++] = uint8_t(value);
}
static void put16(int value)
{
    put8(value & 0xFF);
    put8((value >> 8) & 0xFF);
}
static void put32(uint32_t value)
{
    put16(int(value & 0xFFFF));
    put16(int(value >> 16));
}
static void putText(const char* text, int width)
{
    int length = int(strlen(text));
    for (int i = 0; i < width; i++)
        put8(i < length ? text[i] : 0);
}
static void patch32(int offset, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        fileBytes[offset + i] = uint8_t(value >> (8 * i));
}
static void patch16(int offset, int value)
{
    fileBytes[offset] = uint8_t(value & 0xFF);
    fileBytes[offset + 1] = uint8_t((value >> 8) & 0xFF);
}

// Main thread: the 192-byte header and the order list.
static void writeHeader()
{
    putText("IMPM", 4);
    putText(SONG_NAME, 26);
    put8(4);   // rows per beat
    put8(16);  // rows per measure
    put16(MUSIC_ORDERS + 1);
    put16(instrumentCount);
    put16(sampleCount);
    put16(MUSIC_PATTERNS);
    put16(0x0217);                    // created with
    put16(0x0200);                    // compatible with
    put16(0x0025);                    // stereo, instruments, G linked with E/F
    put16(0x0007);                    // message, edit history, highlight
    put8(128);                        // global volume
    put8(96);                         // mix volume
    put8(5);                          // speed
    put8(162);                        // tempo
    put8(128);                        // panning separation
    put8(0);                          // pitch wheel depth
    put16(int(sizeof SONG_MESSAGE));  // message length, with its NUL
    put32(0);                         // message offset, patched later
    put32(0);                         // reserved
    for (int c = 0; c < 64; c++)
        put8(c < MUSIC_CHANNELS ? 32 : 255);
    for (int c = 0; c < 64; c++)
        put8(64);
    for (int o = 0; o < MUSIC_ORDERS; o++)
        put8(orderList[o]);
    put8(255);
}

// Main thread: one envelope block (82 bytes).
static void writeEnvelope(const Envelope& env, bool isPitch)
{
    [[maybe_unused]] int start = fileSize;
    int flags = (env.enabled ? 1 : 0) | (env.loop ? 2 : 0) | (env.sustain ? 4 : 0);
    if (isPitch && env.filter)
        flags |= 0x80;
    put8(flags);
    put8(env.points);
    put8(env.loopBegin);
    put8(env.loopEnd);
    put8(env.sustainBegin);
    put8(env.sustainEnd);
    for (int i = 0; i < MUSIC_ENV_NODES; i++) {
        put8(i < env.points ? uint8_t(env.value[i]) : 0);
        put16(i < env.points ? env.tick[i] : 0);
    }
    put8(0);
    assert(fileSize - start == ENVELOPE_SIZE);
}

// Main thread: one instrument header (554 bytes).
static void writeInstrument(const SynthInstrument& ins)
{
    [[maybe_unused]] int start = fileSize;
    putText("IMPI", 4);
    putText("", 12);  // DOS file name
    put8(0);
    put8(ins.newNoteAction);
    put8(0);  // duplicate check type
    put8(0);  // duplicate check action
    put16(ins.fadeOut);
    put8(0);   // pitch-pan separation
    put8(60);  // pitch-pan centre
    put8(ins.globalVolume);
    put8(ins.pan < 0 ? 32 | 128 : ins.pan);
    put8(ins.randomVolume);
    put8(0);        // random panning
    put16(0x0217);  // tracker version
    put8(1);        // number of samples
    put8(0);
    putText(ins.name, 26);
    put8(ins.filterCutoff < 0 ? 0 : 128 | ins.filterCutoff);
    put8(ins.filterResonance < 0 ? 0 : 128 | ins.filterResonance);
    put8(0);   // MIDI channel
    put8(0);   // MIDI program
    put16(0);  // MIDI bank
    for (int note = 0; note < 120; note++) {
        put8(note);
        put8(ins.sample);
    }
    Envelope flat = {};
    writeEnvelope(ins.volumeEnvelope, false);
    writeEnvelope(flat, false);  // panning
    writeEnvelope(ins.pitchEnvelope, true);
    put32(0);
    assert(fileSize - start == INSTRUMENT_HEADER_SIZE);
}

// Main thread: one sample header (80 bytes); dataOffset is absolute.
static void writeSampleHeader(const SynthSample& s, uint32_t dataOffset)
{
    [[maybe_unused]] int start = fileSize;
    putText("IMPS", 4);
    putText("", 12);
    put8(0);
    put8(s.globalVolume);
    int flags =
        (s.frames > 0 ? 1 : 0) | (s.sixteenBit ? 2 : 0) | (s.stereo ? 4 : 0) | (s.loop ? 16 : 0);
    put8(flags);
    put8(s.volume);
    putText(s.name, 26);
    put8(1);   // signed samples
    put8(32);  // default pan, not used
    put32(uint32_t(s.frames));
    put32(uint32_t(s.loop ? s.loopBegin : 0));
    put32(uint32_t(s.loop ? s.loopEnd : 0));
    put32(uint32_t(s.c5Speed));
    put32(0);  // sustain loop
    put32(0);
    put32(s.frames > 0 ? dataOffset : 0);
    put8(s.vibratoSpeed);
    put8(s.vibratoDepth);
    put8(s.vibratoRate);
    put8(0);  // sine vibrato
    assert(fileSize - start == SAMPLE_HEADER_SIZE);
}

// Main thread: bytes the sample data takes in the file.
static int sampleDataBytes(const SynthSample& s)
{
    return s.frames * (s.sixteenBit ? 2 : 1) * (s.stereo ? 2 : 1);
}

// Main thread: one channel of one sample, quantized (rounding to nearest).
static void writeSampleChannel(const SynthSample& s, const float* pool)
{
    for (int i = 0; i < s.frames; i++) {
        float v = pool[s.firstFrame + i];
        if (v > 1.0f)
            v = 1.0f;
        if (v < -1.0f)
            v = -1.0f;
        if (s.sixteenBit)
            put16(int(lrintf(v * 32767.0f)) & 0xFFFF);
        else
            put8(int(lrintf(v * 127.0f)) & 0xFF);
    }
}

// Main thread: one packed pattern (8-byte header, then rows). Every cell
// with data gets its own mask; the "same as last" bits are never used.
static void writePattern(int p)
{
    [[maybe_unused]] int start = fileSize;
    put16(0);  // packed length, patched below
    put16(MUSIC_ROWS);
    put32(0);
    for (int row = 0; row < MUSIC_ROWS; row++) {
        for (int ch = 0; ch < MUSIC_CHANNELS; ch++) {
            const Cell& c = song[p][row][ch];
            int mask = (c.note != NOTE_NONE ? 1 : 0) | (c.instrument ? 2 : 0) |
                       (c.volume != VOLUME_NONE ? 4 : 0) | (c.command ? 8 : 0);
            if (!mask)
                continue;
            put8((ch + 1) | 0x80);
            put8(mask);
            if (mask & 1)
                put8(c.note);
            if (mask & 2)
                put8(c.instrument);
            if (mask & 4)
                put8(c.volume);
            if (mask & 8) {
                put8(c.command);
                put8(c.param);
            }
        }
        put8(0);
    }
    patch16(start, fileSize - start - 8);
}

bool writeItFile(const char* path)
{
    fileSize = 0;
    writeHeader();
    assert(fileSize == HEADER_SIZE + MUSIC_ORDERS + 1);
    int instrumentPointers = fileSize;
    for (int i = 0; i < instrumentCount; i++)
        put32(0);
    int samplePointers = fileSize;
    for (int i = 0; i < sampleCount; i++)
        put32(0);
    int patternPointers = fileSize;
    for (int i = 0; i < MUSIC_PATTERNS; i++)
        put32(0);
    put16(0);  // edit history: no entries
    patch32(56, uint32_t(fileSize));
    for (int i = 0; i < int(sizeof SONG_MESSAGE); i++)
        put8(SONG_MESSAGE[i]);

    for (int i = 0; i < instrumentCount; i++) {
        patch32(instrumentPointers + 4 * i, uint32_t(fileSize));
        writeInstrument(instruments[i]);
    }
    int sampleHeaders = fileSize;
    fileSize += sampleCount * SAMPLE_HEADER_SIZE;  // filled once data offsets are known
    for (int p = 0; p < MUSIC_PATTERNS; p++) {
        patch32(patternPointers + 4 * p, uint32_t(fileSize));
        writePattern(p);
    }
    int dataOffset = fileSize;
    int afterPatterns = fileSize;
    fileSize = sampleHeaders;
    for (int i = 0; i < sampleCount; i++) {
        patch32(samplePointers + 4 * i, uint32_t(fileSize));
        writeSampleHeader(samples[i], uint32_t(dataOffset));
        dataOffset += sampleDataBytes(samples[i]);
    }
    fileSize = afterPatterns;
    for (int i = 0; i < sampleCount; i++) {
        writeSampleChannel(samples[i], samplePoolLeft);
        if (samples[i].stereo)
            writeSampleChannel(samples[i], samplePoolRight);
    }

    FILE* out = fopen(path, "wb");
    if (!out)
        return false;
    bool ok = fwrite(fileBytes, 1, size_t(fileSize), out) == size_t(fileSize);
    return fclose(out) == 0 && ok;
}
