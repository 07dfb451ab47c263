// gen-music: the patterns. A minor, one chord per 16 rows (two beats of
// eight rows), 13 channels:
//   1 kick  2 snare  3 hat  4 open hat / clap  5 bass  6-8 pad or stab
//   9 lead  10 arpeggio / bell  11 crash  12 lead echo / bell  13 riser / toms
#include "music.h"

#include <cstring>
#include <initializer_list>

// Module state.
Cell song[MUSIC_PATTERNS][MUSIC_ROWS][MUSIC_CHANNELS];
const uint8_t orderList[MUSIC_ORDERS] = {0,  1,  2,  3, 4, 5,  6,  7,  7,  8,  8,  7,  9,  10, 11,
                                         12, 11, 12, 3, 4, 11, 12, 11, 12, 11, 12, 11, 12, 3,  13};

constexpr int CH_KICK = 0;
constexpr int CH_SNARE = 1;
constexpr int CH_HAT = 2;
constexpr int CH_PERC = 3;
constexpr int CH_BASS = 4;
constexpr int CH_PAD = 5;  // three channels: 5, 6, 7
constexpr int CH_LEAD = 8;
constexpr int CH_ARP = 9;
constexpr int CH_CRASH = 10;
constexpr int CH_ECHO = 11;
constexpr int CH_FX = 12;

constexpr int SLOT_ROWS = 16;  // rows per chord
constexpr int DRUM_C5 = 60;    // drums sound at their recorded pitch on C-5

// A chord: root pitch class (C = 0) and whether its third is minor.
struct Chord {
    int root;
    bool minor;
};

// Main thread: writes a note (and instrument and volume) into one cell.
static void putNote(int p, int row, int ch, int note, int instrument, int volume)
{
    if (row < 0 || row >= MUSIC_ROWS)
        return;
    Cell& c = song[p][row][ch];
    c.note = uint8_t(note);
    c.instrument = uint8_t(instrument);
    c.volume = volume < 0 ? VOLUME_NONE : uint8_t(volume > 64 ? 64 : volume);
}

// Main thread: writes an effect into one cell.
static void putEffect(int p, int row, int ch, int command, int param)
{
    Cell& c = song[p][row][ch];
    c.command = uint8_t(command);
    c.param = uint8_t(param);
}

// Main thread: parses "Am", "F", "G#m" into a chord.
static Chord chordNamed(const char* name)
{
    static const int LETTER[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    Chord chord = {LETTER[name[0] - 'A'], false};
    int i = 1;
    if (name[i] == '#') {
        chord.root = (chord.root + 1) % 12;
        i++;
    }
    if (name[i] == 'b') {
        chord.root = (chord.root + 11) % 12;
        i++;
    }
    chord.minor = name[i] == 'm';
    return chord;
}

// Main thread: the chord's tone `degree` (0 root, 1 third, 2 fifth) placed
// in the octave from `low` up (a note number).
static int chordTone(Chord chord, int degree, int low)
{
    static const int MAJOR[3] = {0, 4, 7};
    static const int MINOR[3] = {0, 3, 7};
    int pc = (chord.root + (chord.minor ? MINOR : MAJOR)[degree]) % 12;
    int note = low + ((pc - low % 12) + 12) % 12;
    return note;
}

// Main thread: note number of a name such as "A4", "C#5" (A4 = 440 Hz is
// note 69, shown as A-5 in trackers); -1 when the text is no note.
static int noteNamed(const char* text, int* length)
{
    static const int LETTER[7] = {9, 11, 0, 2, 4, 5, 7};
    if (text[0] < 'A' || text[0] > 'G')
        return -1;
    int pc = LETTER[text[0] - 'A'];
    int i = 1;
    if (text[i] == '#') {
        pc++;
        i++;
    } else if (text[i] == 'b') {
        pc--;
        i++;
    }
    int octave = text[i] - '0';
    *length = i + 1;
    return 12 * (octave + 1) + pc;
}

// Main thread: writes a melody on channel ch, one token per `step` rows from
// `row` on: a note name starts a note with instrument and volume, "^"
// releases it, "-" holds; "|" and spaces only separate.
static void melody(int p, int row, int step, int ch, int instrument, int volume, const char* text)
{
    for (int i = 0; text[i];) {
        if (text[i] == ' ' || text[i] == '|') {
            i++;
            continue;
        }
        int length = 1;
        int note = noteNamed(text + i, &length);
        if (note >= 0)
            putNote(p, row, ch, note, instrument, volume);
        else if (text[i] == '^')
            putNote(p, row, ch, NOTE_OFF, 0, -1);
        i += length;
        row += step;
    }
}

// Main thread: copies channel `from` to channel `to` `delay` rows later at
// `percent` of its volume, panned alternately left and right.
static void echo(int p, int from, int to, int delay, int percent)
{
    int side = 0;
    for (int row = MUSIC_ROWS - 1 - delay; row >= 0; row--) {
        const Cell& src = song[p][row][from];
        if (src.note == NOTE_NONE)
            continue;
        int volume = src.volume == VOLUME_NONE ? 64 : src.volume;
        putNote(p, row + delay, to, src.note, src.instrument,
                src.note < 120 ? volume * percent / 100 : -1);
        if (src.note < 120)
            putEffect(p, row + delay, to, FX_PANNING, (side++ & 1) ? 0x30 : 0xD0);
    }
    for (int row = MUSIC_ROWS - delay; row < MUSIC_ROWS; row++)
        if (song[p][row][from].note == NOTE_OFF)
            putNote(p, MUSIC_ROWS - 1, to, NOTE_OFF, 0, -1);
}

// Main thread: one drum line from a 32-row grid repeated over rows
// [from, to): 'X' loud, 'x' normal, 'o' ghost, '.' nothing.
static void drumLine(int p, int ch, int instrument, const char* grid, int from, int to, int loud)
{
    for (int row = from; row < to; row++) {
        char mark = grid[row % 32];
        int volume = mark == 'X'   ? loud
                     : mark == 'x' ? loud * 3 / 4
                     : mark == 'o' ? loud * 2 / 5
                                   : -1;
        if (volume >= 0)
            putNote(p, row, ch, DRUM_C5, instrument, volume);
    }
}

// Drum grids, one character per row of a 32-row bar.
static const char KICK_A[] = "X.........x.....X.....x.........";
static const char SNARE_A[] = "........X...............X......o";
static const char HATS[] = "x.o.x.o.x.o.x.o.x.o.x.o.x.o.x.o.";
static const char OPEN_A[] = "............x...............x...";
static const char KICK_FOUR[] = "X.......X.......X.......X.......";
static const char KICK_B[] = "X.......X.......X.......X.....x.";
static const char SNARE_B[] = "........X...............X.....o.";
static const char PERC_B[] = "....x...X...x.......x...X...x...";
static const char HATS_B[] = "x.x.o.x.x.x.o.x.x.x.o.x.x.x.o.x.";

// Main thread: the pad chord of every slot on channels 6 to 8.
static void padChords(int p, const char* const* chords, int slots, int volume)
{
    for (int s = 0; s < slots; s++) {
        Chord chord = chordNamed(chords[s]);
        for (int v = 0; v < 3; v++)
            putNote(p, s * SLOT_ROWS, CH_PAD + v, chordTone(chord, v, 55), INS_PAD, volume);
    }
}

// Main thread: stab chord on channels 6 to 8 at one row.
static void stab(int p, int row, const char* name, int volume)
{
    Chord chord = chordNamed(name);
    for (int v = 0; v < 3; v++)
        putNote(p, row, CH_PAD + v, chordTone(chord, v, 57), INS_STAB, volume);
}

// Bass rhythms over one 16-row slot: offset in rows and octave (0 or 12);
// rows not listed hold.
struct BassStep {
    int row;
    int octave;
};
static const BassStep BASS_PULSE[] = {{0, 0}, {6, 0}, {12, 12}, {-1, 0}};
static const BassStep BASS_DRIVE[] = {{0, 0},   {2, 12}, {4, 0},   {6, 12}, {8, 0},
                                      {10, 12}, {12, 0}, {14, 12}, {-1, 0}};
static const BassStep BASS_LONG[] = {{0, 0}, {-1, 0}};
static const BassStep BASS_EIGHTHS[] = {{0, 0}, {4, 0}, {8, 0}, {12, 0}, {-1, 0}};

// Main thread: the bass line of every slot (roots between A-2 and G#-3).
static void bassLine(int p, const char* const* chords, int slots, const BassStep* steps, int volume)
{
    for (int s = 0; s < slots; s++) {
        int root = chordTone(chordNamed(chords[s]), 0, 33);
        for (int i = 0; steps[i].row >= 0; i++)
            putNote(p, s * SLOT_ROWS + steps[i].row, CH_BASS, root + steps[i].octave, INS_BASS,
                    steps[i].octave ? volume * 7 / 8 : volume);
    }
}

// Main thread: arpeggio over every slot, one note each `step` rows,
// climbing root (E-5 to D#-6), third, fifth, octave and back.
static void arpeggio(int p, const char* const* chords, int slots, int step, int volume, int from)
{
    static const int SHAPE[6] = {0, 1, 2, 3, 2, 1};
    for (int s = 0; s < slots; s++) {
        Chord chord = chordNamed(chords[s]);
        int n = 0;
        for (int r = 0; r < SLOT_ROWS; r += step, n++) {
            int row = s * SLOT_ROWS + r;
            if (row < from)
                continue;
            int root = chordTone(chord, 0, 64);
            int degree = SHAPE[n % 6];
            int note = degree == 3   ? root + 12
                       : degree == 0 ? root
                                     : root + (degree == 1 ? (chord.minor ? 3 : 4) : 7);
            putNote(p, row, CH_ARP, note, INS_ARP, (r % 4) ? volume * 3 / 4 : volume);
        }
    }
}

// Main thread: snare roll on rows [from, to), one hit each `step` rows,
// rising from `low` to `high`.
static void snareRoll(int p, int from, int to, int step, int low, int high)
{
    for (int row = from; row < to; row += step)
        putNote(p, row, CH_SNARE, DRUM_C5, INS_SNARE,
                low + (high - low) * (row - from) / (to - from));
}

// Main thread: a crash on the crash channel.
static void crash(int p, int row, int volume)
{
    putNote(p, row, CH_CRASH, DRUM_C5, INS_CRASH, volume);
}

// Main thread: clears every pattern.
static void clearSong()
{
    for (int p = 0; p < MUSIC_PATTERNS; p++)
        for (int row = 0; row < MUSIC_ROWS; row++)
            for (int ch = 0; ch < MUSIC_CHANNELS; ch++)
                song[p][row][ch] = Cell{NOTE_NONE, 0, VOLUME_NONE, 0, 0};
}

// Main thread: opens the pad's low-pass on channels 6 to 8 from cutoff
// `low` at row `from` to fully open (7F) at row `to`, every other row.
static void padSweep(int p, int from, int to, int low)
{
    for (int row = from; row <= to; row += 2)
        for (int v = 0; v < 3; v++)
            putEffect(p, row, CH_PAD + v, FX_MACRO,
                      low + (0x7F - low) * (row - from) / (to - from));
}

// Main thread: ends pattern p// Main thread: ends pattern p after row 47 with a break to row 0.
static void breakAfter47(int p)
{
    putEffect(p, 47, CH_FX, FX_BREAK, 0);
}

// Groove of the second half: four-on-the-floor, backbeat with claps, 16th
// hats; `full` (the climax) adds open hats on the off-beats and a pickup kick.
static void grooveB(int p, int from, int to, bool full)
{
    drumLine(p, CH_KICK, INS_KICK, full ? KICK_B : KICK_FOUR, from, to, 64);
    drumLine(p, CH_SNARE, INS_SNARE, SNARE_B, from, to, 62);
    if (full)
        drumLine(p, CH_PERC, INS_OPEN_HAT, PERC_B, from, to, 40);
    for (int row = from; row < to; row++)
        if (row % 16 == 8)
            putNote(p, row, CH_PERC, DRUM_C5, INS_CLAP, 50);
    drumLine(p, CH_HAT, INS_HAT, full ? HATS_B : HATS, from, to, 58);
}

// Groove of the first half: broken kick, backbeat, 16th hats.
static void grooveA(int p, int from, int to, bool openHats)
{
    drumLine(p, CH_KICK, INS_KICK, KICK_A, from, to, 64);
    drumLine(p, CH_SNARE, INS_SNARE, SNARE_A, from, to, 60);
    drumLine(p, CH_HAT, INS_HAT, HATS, from, to, 56);
    if (openHats)
        drumLine(p, CH_PERC, INS_OPEN_HAT, OPEN_A, from, to, 36);
}

// The phrase-ending accent: crash, kick, snare, clap, bass, stab chord and
// the lead all at once on `row`.
static void accent(int p, int row, const char* chordName, int leadNote)
{
    crash(p, row, 64);
    putNote(p, row, CH_KICK, DRUM_C5, INS_KICK, 64);
    putNote(p, row, CH_SNARE, DRUM_C5, INS_SNARE, 64);
    putNote(p, row, CH_PERC, DRUM_C5, INS_CLAP, 64);
    putNote(p, row, CH_BASS, chordTone(chordNamed(chordName), 0, 33), INS_BASS, 64);
    stab(p, row, chordName, 64);
    putNote(p, row, CH_LEAD, leadNote, INS_LEAD, 64);
    putNote(p, row, CH_ARP, leadNote + 12, INS_ARP, 48);
}

void composeSong()
{
    clearSong();

    // Pattern 0 (48 rows): intro, the pad swells under a few bell notes.
    static const char* const P0[] = {"Am", "F", "G"};
    padChords(0, P0, 3, 8);
    for (int row = 2; row < 48; row += 2)
        for (int v = 0; v < 3; v++)
            song[0][row][CH_PAD + v].volume = uint8_t(8 + row * 3 / 4);
    melody(0, 0, 2, CH_ARP, INS_BELL, 40,
           "E5 - - - A5 - - - | C6 - - - A5 - - - | B5 - - - D6 - - -");
    breakAfter47(0);

    // Pattern 1: the arpeggio enters, hats and soft kicks in the second half.
    static const char* const PROG_A[] = {"Am", "F", "C", "G"};
    putEffect(1, 0, CH_FX, FX_SPEED, 5);
    padChords(1, PROG_A, 4, 44);
    arpeggio(1, PROG_A, 4, 2, 30, 0);
    drumLine(1, CH_HAT, INS_HAT, HATS, 32, 64, 36);
    drumLine(1, CH_KICK, INS_KICK, "X...............X...............", 32, 64, 44);
    melody(1, 0, 2, CH_ECHO, INS_BELL, 34,
           "E5 - - - - - - - | - - - - - - - - | G5 - - - - - - - | - - - - D5 - - -");

    // Pattern 2: bass and drums come in, a riser and a fill lead into the groove.
    padChords(2, PROG_A, 4, 40);
    arpeggio(2, PROG_A, 4, 2, 32, 0);
    bassLine(2, PROG_A, 4, BASS_PULSE, 56);
    drumLine(2, CH_KICK, INS_KICK, KICK_FOUR, 0, 32, 56);
    drumLine(2, CH_HAT, INS_HAT, HATS, 0, 32, 40);
    grooveA(2, 32, 56, false);
    snareRoll(2, 56, 64, 2, 30, 56);
    crash(2, 0, 44);
    putNote(2, 16, CH_FX, DRUM_C5, INS_RISER, 44);

    // Pattern 3: the groove (orders 3, 18 and 28).
    padChords(3, PROG_A, 4, 36);
    arpeggio(3, PROG_A, 4, 2, 30, 0);
    bassLine(3, PROG_A, 4, BASS_PULSE, 60);
    grooveA(3, 0, 64, true);
    crash(3, 0, 56);
    melody(3, 0, 2, CH_ECHO, INS_BELL, 30,
           "- - - - - - - - | - - - - A5 - C6 - | - - - - - - - - | - - - - B5 - G5 -");

    // Pattern 4: the groove with the first theme on the lead.
    padChords(4, PROG_A, 4, 34);
    arpeggio(4, PROG_A, 4, 2, 26, 0);
    bassLine(4, PROG_A, 4, BASS_PULSE, 60);
    grooveA(4, 0, 64, true);
    melody(4, 0, 2, CH_LEAD, INS_LEAD, 48,
           "A4 - - - C5 - E5 - | F5 - - E5 - - C5 - | E5 - - D5 - - C5 - | B4 - - - G4 - - ^");
    echo(4, CH_LEAD, CH_ECHO, 3, 40);

    // Pattern 5: bridge in D minor, lighter drums, an answering line.
    static const char* const P5[] = {"Dm", "C", "F", "E"};
    padChords(5, P5, 4, 36);
    bassLine(5, P5, 4, BASS_PULSE, 58);
    grooveA(5, 0, 64, false);
    melody(5, 0, 2, CH_LEAD, INS_LEAD, 46,
           "D5 - - - F5 - A5 - | G5 - - - E5 - C5 - | A4 - C5 - F5 - A5 - | G#5 - - - - - ^ -");
    echo(5, CH_LEAD, CH_ECHO, 3, 40);

    // Pattern 6: build: the snare rolls faster, a riser, steady kicks.
    static const char* const P6[] = {"F", "G", "Am", "G"};
    padChords(6, P6, 4, 40);
    padSweep(6, 0, 62, 0x28);
    bassLine(6, P6, 4, BASS_EIGHTHS, 56);
    drumLine(6, CH_KICK, INS_KICK, KICK_FOUR, 0, 64, 60);
    snareRoll(6, 0, 32, 8, 30, 40);
    snareRoll(6, 32, 48, 4, 40, 48);
    snareRoll(6, 48, 56, 2, 48, 56);
    snareRoll(6, 56, 64, 1, 54, 64);
    drumLine(6, CH_HAT, INS_HAT, HATS, 0, 64, 40);
    crash(6, 0, 56);
    putNote(6, 16, CH_FX, DRUM_C5, INS_RISER, 56);
    arpeggio(6, P6, 4, 1, 26, 32);

    // Patterns 7 and 8: the chorus, full groove and the second theme.
    static const char* const P7[] = {"F", "G", "Em", "Am"};
    padChords(7, P7, 4, 34);
    arpeggio(7, P7, 4, 2, 26, 0);
    bassLine(7, P7, 4, BASS_DRIVE, 54);
    grooveB(7, 0, 64, false);
    crash(7, 0, 60);
    melody(7, 0, 2, CH_LEAD, INS_LEAD, 50,
           "A5 - - - G5 - F5 - | G5 - - - F5 - D5 - | E5 - - - D5 - B4 - | C5 - B4 - A4 - - ^");
    echo(7, CH_LEAD, CH_ECHO, 3, 40);

    static const char* const P8[] = {"Dm", "G", "C", "Am"};
    padChords(8, P8, 4, 34);
    arpeggio(8, P8, 4, 2, 26, 0);
    bassLine(8, P8, 4, BASS_DRIVE, 54);
    grooveB(8, 0, 64, false);
    crash(8, 0, 56);
    melody(8, 0, 2, CH_LEAD, INS_LEAD, 50,
           "F5 - - - E5 - D5 - | B4 - D5 - G5 - F5 - | E5 - - - C5 - E5 G5 | A5 - - - - - ^ -");
    echo(8, CH_LEAD, CH_ECHO, 3, 40);

    // Pattern 9 (48 rows): breakdown, no drums, bells over the pad.
    static const char* const P9[] = {"F", "G", "Am"};
    padChords(9, P9, 3, 40);
    bassLine(9, P9, 3, BASS_LONG, 50);
    melody(9, 0, 2, CH_ARP, INS_BELL, 44,
           "A5 - - - C6 - - - | B5 - - - D6 - - - | E6 - - - - - - -");
    melody(9, 0, 2, CH_LEAD, INS_LEAD, 30,
           "- - - - - - - - | - - - - - - - - | A4 - B4 - C5 - E5 ^");
    echo(9, CH_LEAD, CH_ECHO, 3, 50);
    breakAfter47(9);

    // Pattern 10 (48 rows): build to the climax.
    static const char* const P10[] = {"F", "G", "E"};
    padChords(10, P10, 3, 40);
    padSweep(10, 0, 46, 0x20);
    bassLine(10, P10, 3, BASS_EIGHTHS, 54);
    drumLine(10, CH_KICK, INS_KICK, KICK_FOUR, 0, 48, 56);
    snareRoll(10, 16, 32, 4, 30, 40);
    snareRoll(10, 32, 40, 2, 40, 50);
    snareRoll(10, 40, 48, 1, 50, 64);
    putNote(10, 0, CH_FX, DRUM_C5, INS_RISER, 60);
    arpeggio(10, P10, 3, 1, 24, 16);
    breakAfter47(10);

    // Patterns 11 and 12: the climax with the hook; 12 ends on two accents.
    padChords(11, PROG_A, 4, 36);
    arpeggio(11, PROG_A, 4, 1, 26, 0);
    bassLine(11, PROG_A, 4, BASS_DRIVE, 56);
    grooveB(11, 0, 64, true);
    crash(11, 0, 60);
    melody(11, 0, 2, CH_LEAD, INS_LEAD, 52,
           "E5 - - E5 - - D5 - | C5 - - - A4 - C5 - | G5 - - G5 - - E5 - | D5 - - - B4 - G4 -");
    echo(11, CH_LEAD, CH_ECHO, 3, 40);

    static const char* const P12[] = {"Am", "F", "G", "E"};
    padChords(12, P12, 3, 36);
    arpeggio(12, P12, 3, 1, 26, 0);
    bassLine(12, P12, 3, BASS_DRIVE, 56);
    grooveB(12, 0, 48, true);
    melody(12, 0, 2, CH_LEAD, INS_LEAD, 52,
           "E5 - - E5 - - D5 - | C5 - - - A4 - C5 D5 | D5 - - - - - B4 - | G#4 ^");
    echo(12, CH_LEAD, CH_ECHO, 3, 40);
    stab(12, 48, "E", 44);
    putNote(12, 48, CH_BASS, 40, INS_BASS, 50);
    putNote(12, 48, CH_KICK, DRUM_C5, INS_KICK, 56);
    melody(12, 48, 1, CH_FX, INS_TOM, 50, "- - E4 C4");
    accent(12, 52, "E", 71);
    accent(12, 56, "E", 76);
    snareRoll(12, 58, 64, 1, 36, 60);
    putNote(12, 62, CH_LEAD, NOTE_OFF, 0, -1);

    // Pattern 13: the finale; the last accents ring out to the end.
    static const char* const P13[] = {"F", "G", "E"};
    padChords(13, P13, 3, 38);
    arpeggio(13, P13, 3, 1, 26, 0);
    bassLine(13, P13, 3, BASS_DRIVE, 56);
    grooveB(13, 0, 48, true);
    crash(13, 0, 64);
    melody(13, 0, 2, CH_LEAD, INS_LEAD, 52,
           "A5 - - G5 - - F5 - | G5 - - F5 - - D5 - | E5 - - - G#5 - B5 - | ^");
    echo(13, CH_LEAD, CH_ECHO, 3, 40);
    melody(13, 48, 1, CH_FX, INS_TOM, 54, "G4 E4 C4 A3");
    accent(13, 52, "Am", 69);
    accent(13, 56, "Am", 81);
    putNote(13, 56, CH_ECHO, 81, INS_BELL, 48);
    // Before the module starts again: release what still sustains.
    for (int ch : {CH_BASS, CH_LEAD, CH_ECHO})
        putNote(13, 63, ch, NOTE_OFF, 0, -1);
}
