// gen-music: the module's data as the generator builds it, before it is laid
// out as an Impulse Tracker file. One thread (main) runs the whole tool.
#pragma once

#include <cstdint>

constexpr int MUSIC_CHANNELS = 13;  // channels 1..13 carry notes
constexpr int MUSIC_PATTERNS = 14;
constexpr int MUSIC_ROWS = 64;    // rows in every pattern
constexpr int MUSIC_ORDERS = 30;  // playable order entries
constexpr int MUSIC_MAX_SAMPLES = 32;
constexpr int MUSIC_MAX_INSTRUMENTS = 32;
constexpr int MUSIC_POOL_FRAMES = 1 << 20;  // sample frames over all samples
constexpr int MUSIC_ENV_NODES = 25;         // envelope points the format holds

constexpr uint8_t NOTE_NONE = 0xFD;    // internal: cell has no note
constexpr uint8_t NOTE_CUT = 0xFE;     // "^^^"
constexpr uint8_t NOTE_OFF = 0xFF;     // "==="
constexpr uint8_t VOLUME_NONE = 0xFF;  // internal: empty volume column

// Effect letters as numbers (A = 1).
constexpr uint8_t FX_SPEED = 1;     // Axx
constexpr uint8_t FX_BREAK = 3;     // Cxx
constexpr uint8_t FX_PANNING = 24;  // Xxx
constexpr uint8_t FX_MACRO = 26;    // Zxx: 00..7F filter cutoff

// Instrument numbers as the patterns use them (1-based).
constexpr uint8_t INS_KICK = 1;
constexpr uint8_t INS_SNARE = 2;
constexpr uint8_t INS_HAT = 3;
constexpr uint8_t INS_OPEN_HAT = 4;
constexpr uint8_t INS_CLAP = 5;
constexpr uint8_t INS_CRASH = 6;
constexpr uint8_t INS_TOM = 7;
constexpr uint8_t INS_RISER = 8;
constexpr uint8_t INS_BASS = 9;
constexpr uint8_t INS_PAD = 10;
constexpr uint8_t INS_LEAD = 11;
constexpr uint8_t INS_ARP = 12;
constexpr uint8_t INS_BELL = 13;
constexpr uint8_t INS_STAB = 14;

// One pattern cell. note: 0..119 (C-0..B-9), NOTE_CUT, NOTE_OFF or NOTE_NONE;
// instrument: 1-based, 0 = none; volume: 0..64, 128..192 panning, or
// VOLUME_NONE; command: effect number, 0 = none.
struct Cell {
    uint8_t note;
    uint8_t instrument;
    uint8_t volume;
    uint8_t command;
    uint8_t param;
};

// One synthesized sample. Frames live in samplePoolLeft (and samplePoolRight
// for stereo) from firstFrame on, as floats in -1..1.
struct SynthSample {
    char name[27];
    int firstFrame;
    int frames;  // length in sample frames
    bool sixteenBit;
    bool stereo;
    bool loop;
    int loopBegin;     // frames
    int loopEnd;       // frames, one past the last looped frame
    int c5Speed;       // Hz: playback rate of note C-5
    int volume;        // default volume, 0..64
    int globalVolume;  // 0..64
    int vibratoSpeed;  // auto-vibrato, format units 0..64
    int vibratoDepth;  // 0..64
    int vibratoRate;   // sweep, 0..255
};

// An envelope: up to 25 points, value then tick (ticks count from the note).
struct Envelope {
    bool enabled;
    bool loop;
    bool sustain;
    bool filter;  // pitch envelope steers the filter instead
    int points;
    int loopBegin, loopEnd;         // point indices
    int sustainBegin, sustainEnd;   // point indices
    int8_t value[MUSIC_ENV_NODES];  // volume 0..64; pan/pitch -32..32
    uint16_t tick[MUSIC_ENV_NODES];
};

struct SynthInstrument {
    char name[27];
    int sample;           // 1-based sample for every note
    int newNoteAction;    // 0 cut, 1 continue, 2 off, 3 fade
    int fadeOut;          // 0..1024 (format units)
    int globalVolume;     // 0..128
    int pan;              // 0..64, or -1 for the channel's own
    int filterCutoff;     // 0..127, or -1 for none
    int filterResonance;  // 0..127, or -1 for none
    int randomVolume;     // 0..100 per cent
    Envelope volumeEnvelope;
    Envelope pitchEnvelope;
};

// Module-wide data (defined in instruments.cpp and song.cpp).
extern float samplePoolLeft[MUSIC_POOL_FRAMES];
extern float samplePoolRight[MUSIC_POOL_FRAMES];
extern SynthSample samples[MUSIC_MAX_SAMPLES];
extern int sampleCount;
extern SynthInstrument instruments[MUSIC_MAX_INSTRUMENTS];
extern int instrumentCount;
extern Cell song[MUSIC_PATTERNS][MUSIC_ROWS][MUSIC_CHANNELS];
extern const uint8_t orderList[MUSIC_ORDERS];

// Builds every sample and instrument (instruments.cpp). Main thread.
void buildInstruments();
// Writes every pattern (song.cpp). Main thread.
void composeSong();
// Lays the module out as an Impulse Tracker file at path (itfile.cpp); false
// when the file cannot be written. Main thread.
bool writeItFile(const char* path);
