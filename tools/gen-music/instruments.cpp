// gen-music: synthesizes every sample and sets up the instruments.
//
// Drums are one-shot recordings of small synth voices (swept sines, shaped
// noise, square clusters); the tonal samples hold whole periods so that they
// loop seamlessly: every partial of a looped sample fits the loop a whole
// number of times. A tonal sample's C-5 speed is chosen so that note C-5
// sounds at 261.63 Hz (A-5 at 440 Hz).
#include "music.h"

#include <cmath>
#include <cstring>

// Module state.
float samplePoolLeft[MUSIC_POOL_FRAMES];   // sample frames, -1..1
float samplePoolRight[MUSIC_POOL_FRAMES];  // right channel of stereo samples
SynthSample samples[MUSIC_MAX_SAMPLES];
int sampleCount;
SynthInstrument instruments[MUSIC_MAX_INSTRUMENTS];
int instrumentCount;
static int poolUsed;                       // frames handed out so far
static uint32_t noiseState = 0x2545F491u;  // xorshift32 state

constexpr double PI = 3.14159265358979323846;
constexpr double MIDDLE_C = 261.6255653;  // Hz of note C-5

// Main thread: white noise in -1..1 from a fixed sequence.
static float noise()
{
    noiseState ^= noiseState << 13;
    noiseState ^= noiseState >> 17;
    noiseState ^= noiseState << 5;
    return float(int32_t(noiseState)) / 2147483648.0f;
}

// Main thread: reserves a sample of the given length; returns its index.
static int newSample(const char* name, int frames, bool sixteenBit, bool stereo, int c5Speed)
{
    SynthSample& s = samples[sampleCount];
    memset(&s, 0, sizeof s);
    strncpy(s.name, name, 26);
    s.firstFrame = poolUsed;
    s.frames = frames;
    s.sixteenBit = sixteenBit;
    s.stereo = stereo;
    s.c5Speed = c5Speed;
    s.volume = 64;
    s.globalVolume = 64;
    poolUsed += frames;
    return sampleCount++;
}

// Main thread: scales a sample so that its largest magnitude is peak, and
// fades its last fadeFrames frames to zero.
static void finishSample(int index, float peak, int fadeFrames)
{
    SynthSample& s = samples[index];
    float* channels[2] = {samplePoolLeft + s.firstFrame, samplePoolRight + s.firstFrame};
    int channelCount = s.stereo ? 2 : 1;
    float largest = 0.0f;
    for (int c = 0; c < channelCount; c++)
        for (int i = 0; i < s.frames; i++)
            largest = fmaxf(largest, fabsf(channels[c][i]));
    if (largest <= 0.0f)
        return;
    for (int c = 0; c < channelCount; c++)
        for (int i = 0; i < s.frames; i++) {
            float fade = 1.0f;
            int left = s.frames - i;
            if (fadeFrames > 0 && left < fadeFrames)
                fade = float(left) / float(fadeFrames);
            channels[c][i] = channels[c][i] * peak / largest * fade;
        }
}

// Main thread: makes the whole sample loop.
static void loopWhole(int index)
{
    samples[index].loop = true;
    samples[index].loopBegin = 0;
    samples[index].loopEnd = samples[index].frames;
}

// Main thread: the metallic cluster of six detuned square waves that hats
// and cymbals start from; t in seconds.
static float metalCluster(double t, double scale)
{
    static const double FREQS[6] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
    float sum = 0.0f;
    for (double f : FREQS)
        sum += fmod(t * f * scale, 1.0) < 0.5 ? 1.0f : -1.0f;
    return sum / 6.0f;
}

// One-pole filters over a running state; cutoff in Hz.
struct OnePole {
    float state;
};
static float lowPass(OnePole& f, float x, double cutoff, double rate)
{
    float a = float(1.0 - exp(-2.0 * PI * cutoff / rate));
    f.state += a * (x - f.state);
    return f.state;
}
static float highPass(OnePole& f, float x, double cutoff, double rate)
{
    return x - lowPass(f, x, cutoff, rate);
}

// Chamberlin state-variable filter; returns the low-pass output and leaves
// the band-pass one in band.
struct StateVariable {
    float low, band;
};
static float stateVariable(StateVariable& f, float x, double cutoff, double damping, double rate)
{
    float g = float(2.0 * sin(PI * fmin(cutoff, rate / 6.0) / rate));
    f.low += g * f.band;
    float high = x - f.low - float(damping) * f.band;
    f.band += g * high;
    return f.low;
}

// Main thread: bass drum, a sine falling from about 200 Hz to 46 Hz.
static void makeKick()
{
    const double rate = 44100.0;
    int n = int(0.42 * rate);
    int s = newSample("kick", n, true, false, 44100);
    float* out = samplePoolLeft + samples[s].firstFrame;
    double phase = 0.0;
    OnePole click = {};
    for (int i = 0; i < n; i++) {
        double t = i / rate;
        double f = 46.0 + 120.0 * exp(-t / 0.030) + 60.0 * exp(-t / 0.005);
        phase += 2.0 * PI * f / rate;
        double body = sin(phase) * exp(-t / 0.22) * fmin(1.0, t / 0.0008);
        double tick = lowPass(click, noise(), 5000.0, rate) * exp(-t / 0.003) * 0.6;
        out[i] = float(tanh(1.7 * (body + tick)));
    }
    finishSample(s, 0.98f, 400);
}

// Main thread: snare, a short falling tone under band-limited noise.
static void makeSnare()
{
    const double rate = 44100.0;
    int n = int(0.32 * rate);
    int s = newSample("snare", n, true, false, 44100);
    float* out = samplePoolLeft + samples[s].firstFrame;
    double phase1 = 0.0, phase2 = 0.0;
    OnePole hp = {}, lp = {};
    for (int i = 0; i < n; i++) {
        double t = i / rate;
        double drop = 1.0 + 0.35 * exp(-t / 0.012);
        phase1 += 2.0 * PI * 185.0 * drop / rate;
        phase2 += 2.0 * PI * 330.0 * drop / rate;
        double tone = (0.65 * sin(phase1) + 0.35 * sin(phase2)) * exp(-t / 0.055);
        float hiss = lowPass(lp, highPass(hp, noise(), 1200.0, rate), 9000.0, rate);
        double body = 0.6 * tone + 1.1 * hiss * exp(-t / 0.085);
        out[i] = float(tanh(2.6 * body * fmin(1.0, t / 0.0005)));
    }
    finishSample(s, 0.98f, 400);
}

// Main thread: closed or open hi-hat (8-bit): metal cluster and noise above
// 6 kHz with a decay of `decay` seconds.
static void makeHat(const char* name, double length, double decay)
{
    const double rate = 44100.0;
    int n = int(length * rate);
    int s = newSample(name, n, false, false, 44100);
    float* out = samplePoolLeft + samples[s].firstFrame;
    OnePole hp1 = {}, hp2 = {};
    for (int i = 0; i < n; i++) {
        double t = i / rate;
        float x = 0.55f * metalCluster(t, 1.7) + 0.6f * noise();
        x = highPass(hp2, highPass(hp1, x, 6500.0, rate), 6500.0, rate);
        out[i] = float(x * exp(-t / decay));
    }
    finishSample(s, 0.98f, 200);
}

// Main thread: hand clap, three quick bursts of band-passed noise and a tail.
static void makeClap()
{
    const double rate = 44100.0;
    int n = int(0.30 * rate);
    int s = newSample("clap", n, true, false, 44100);
    float* out = samplePoolLeft + samples[s].firstFrame;
    OnePole hp = {}, lp1 = {}, lp2 = {};
    for (int i = 0; i < n; i++) {
        double t = i / rate;
        double env = 0.0;
        for (int b = 0; b < 3; b++) {
            double start = 0.0105 * b;
            if (t >= start)
                env += exp(-(t - start) / 0.0035);
        }
        if (t >= 0.032)
            env += 0.8 * exp(-(t - 0.032) / 0.075);
        float x = highPass(hp, noise(), 900.0, rate);
        x = lowPass(lp2, lowPass(lp1, x, 4200.0, rate), 4200.0, rate);
        out[i] = float(x * env);
    }
    finishSample(s, 0.98f, 300);
}

// Main thread: crash cymbal, stereo, each side its own noise and cluster.
static void makeCrash()
{
    const double rate = 32000.0;
    int n = int(1.5 * rate);
    int s = newSample("crash", n, true, true, 32000);
    float* channels[2] = {samplePoolLeft + samples[s].firstFrame,
                          samplePoolRight + samples[s].firstFrame};
    for (int c = 0; c < 2; c++) {
        OnePole hp1 = {}, hp2 = {}, lp = {};
        for (int i = 0; i < n; i++) {
            double t = i / rate;
            float x = 0.45f * metalCluster(t, c ? 2.31 : 2.17) + 0.7f * noise();
            x = highPass(hp2, highPass(hp1, x, 2800.0, rate), 2800.0, rate);
            x = lowPass(lp, x, 12000.0, rate);
            double env = 0.75 * exp(-t / 0.55) + 0.5 * exp(-t / 0.03);
            channels[c][i] = float(x * env * fmin(1.0, t / 0.001));
        }
    }
    finishSample(s, 0.98f, 1600);
}

// Main thread: tom, a sine falling to 95 Hz; other notes give other toms.
static void makeTom()
{
    const double rate = 22050.0;
    int n = int(0.5 * rate);
    int s = newSample("tom", n, true, false, 22050);
    float* out = samplePoolLeft + samples[s].firstFrame;
    double phase = 0.0;
    for (int i = 0; i < n; i++) {
        double t = i / rate;
        phase += 2.0 * PI * (95.0 + 70.0 * exp(-t / 0.04)) / rate;
        out[i] = float(tanh(1.5 * sin(phase) * exp(-t / 0.17)) + 0.15 * noise() * exp(-t / 0.01));
    }
    finishSample(s, 0.98f, 300);
}

// Main thread: riser (8-bit), noise through a band-pass sweeping from
// 300 Hz to 7 kHz while it swells, 48 rows long.
static void makeRiser()
{
    const double rate = 22050.0;
    const double length = 3.70;
    int n = int(length * rate);
    int s = newSample("riser", n, false, false, 22050);
    float* out = samplePoolLeft + samples[s].firstFrame;
    StateVariable svf = {};
    for (int i = 0; i < n; i++) {
        double t = i / rate;
        double u = t / length;
        double cutoff = 300.0 * pow(7000.0 / 300.0, u);
        stateVariable(svf, noise(), cutoff, 0.35, rate);
        out[i] = float(svf.band * pow(u, 1.6));
    }
    finishSample(s, 0.98f, 200);
}

// Main thread: bass, a saw and a square through a low-pass that closes from
// 2.4 kHz to 420 Hz; the settled tail loops over whole periods (400 frames,
// 55.125 Hz).
static void makeBass()
{
    const double rate = 22050.0;
    const int period = 400;  // frames per period
    int n = period * 40;
    int s = newSample("bass", n, true, false, int(lround(MIDDLE_C * period)));
    float* out = samplePoolLeft + samples[s].firstFrame;
    double f = rate / period;
    StateVariable svf1 = {}, svf2 = {};
    for (int i = 0; i < n; i++) {
        double t = i / rate;
        double saw = 0.0, square = 0.0;
        for (int k = 1; k * f < 8000.0; k++) {
            double partial = sin(2.0 * PI * k * f * t) / k;
            saw += partial;
            if (k & 1)
                square += partial;
        }
        double x = 0.6 * saw + 0.5 * square;
        double cutoff = 420.0 + 2000.0 * exp(-t / 0.07);
        stateVariable(svf1, float(x), cutoff, 1.1, rate);
        out[i] = stateVariable(svf2, svf1.low, cutoff, 1.3, rate);
    }
    samples[s].loop = true;
    samples[s].loopBegin = n - period * 8;
    samples[s].loopEnd = n;
    finishSample(s, 0.98f, 0);
}

// Main thread: adds a band-limited saw of frequency f (whole cycles per
// second of data) to out, its partials rolling off above `bright` Hz.
static void addSaw(float* out, int n, double rate, double f, double gain, double bright)
{
    for (int k = 1; k * f < rate * 0.45; k++) {
        double amplitude = gain / k / sqrt(1.0 + (k * f / bright) * (k * f / bright));
        double step = 2.0 * PI * k * f / rate;
        for (int i = 0; i < n; i++)
            out[i] += float(amplitude * sin(step * i));
    }
}

// Main thread: pad, stereo: three saws a few cents apart on each side, all
// at whole hertz so that one second loops. Pitch A-4 (220 Hz).
static void makePad()
{
    const double rate = 22050.0;
    int n = int(rate);
    int s = newSample("pad", n, true, true, int(lround(rate * MIDDLE_C / 220.0)));
    float* left = samplePoolLeft + samples[s].firstFrame;
    float* right = samplePoolRight + samples[s].firstFrame;
    static const double LEFT[3] = {218.0, 220.0, 223.0};
    static const double RIGHT[3] = {217.0, 221.0, 222.0};
    for (int v = 0; v < 3; v++) {
        addSaw(left, n, rate, LEFT[v], 1.0, 1500.0);
        addSaw(right, n, rate, RIGHT[v], 1.0, 1500.0);
    }
    loopWhole(s);
    finishSample(s, 0.98f, 0);
}

// Main thread: lead, three saws at 438, 440 and 442 Hz and a square at
// 440 Hz; half a second loops. Pitch A-5 (440 Hz).
static void makeLead()
{
    const double rate = 22050.0;
    int n = int(rate / 2);
    int s = newSample("lead", n, true, false, int(lround(rate * MIDDLE_C / 440.0)));
    float* out = samplePoolLeft + samples[s].firstFrame;
    addSaw(out, n, rate, 438.0, 1.0, 3500.0);
    addSaw(out, n, rate, 440.0, 1.0, 3500.0);
    addSaw(out, n, rate, 442.0, 1.0, 3500.0);
    for (int k = 1; k * 440.0 < 7000.0; k += 2)
        for (int i = 0; i < n; i++)
            out[i] += float(0.6 / k * sin(2.0 * PI * k * 440.0 * i / rate));
    loopWhole(s);
    finishSample(s, 0.98f, 0);
    samples[s].vibratoSpeed = 10;
    samples[s].vibratoDepth = 6;
    samples[s].vibratoRate = 40;
}

// Main thread: arpeggio voice (8-bit), one period of a band-limited square.
static void makeArp()
{
    const int period = 64;
    int s = newSample("arp", period, false, false, int(lround(MIDDLE_C * period)));
    float* out = samplePoolLeft + samples[s].firstFrame;
    for (int k = 1; k <= 15; k += 2)
        for (int i = 0; i < period; i++)
            out[i] += float(sin(2.0 * PI * k * i / period) / k);
    loopWhole(s);
    finishSample(s, 0.98f, 0);
}

// Main thread: bell, two-operator FM at A-5 with a 3.5 ratio whose index
// decays, so the strike is bright and the tail pure.
static void makeBell()
{
    const double rate = 22050.0;
    int n = int(1.4 * rate);
    int s = newSample("bell", n, true, false, int(lround(rate * MIDDLE_C / 440.0)));
    float* out = samplePoolLeft + samples[s].firstFrame;
    for (int i = 0; i < n; i++) {
        double t = i / rate;
        double index = 0.4 + 2.6 * exp(-t / 0.25);
        double modulator = sin(2.0 * PI * 1540.0 * t);
        out[i] = float(sin(2.0 * PI * 440.0 * t + index * modulator) * exp(-t / 0.45) *
                       fmin(1.0, t / 0.002));
    }
    finishSample(s, 0.98f, 400);
}

// Main thread: sets an envelope from (tick, value) pairs.
static void setEnvelope(Envelope& env, int points, const int* pairs, int sustainPoint)
{
    env.enabled = true;
    env.points = points;
    for (int i = 0; i < points; i++) {
        env.tick[i] = uint16_t(pairs[2 * i]);
        env.value[i] = int8_t(pairs[2 * i + 1]);
    }
    if (sustainPoint >= 0) {
        env.sustain = true;
        env.sustainBegin = sustainPoint;
        env.sustainEnd = sustainPoint;
    }
}

// Main thread: adds an instrument playing sample (1-based) on every note.
static SynthInstrument& newInstrument(const char* name, int sample, int globalVolume, int pan)
{
    SynthInstrument& ins = instruments[instrumentCount++];
    memset(&ins, 0, sizeof ins);
    strncpy(ins.name, name, 26);
    ins.sample = sample;
    ins.globalVolume = globalVolume;
    ins.pan = pan;
    ins.filterCutoff = -1;
    ins.filterResonance = -1;
    return ins;
}

void buildInstruments()
{
    poolUsed = 0;
    sampleCount = 0;
    instrumentCount = 0;
    memset(samplePoolLeft, 0, sizeof samplePoolLeft);
    memset(samplePoolRight, 0, sizeof samplePoolRight);

    makeKick();
    makeSnare();
    makeHat("hat", 0.10, 0.028);
    makeHat("open hat", 0.40, 0.13);
    makeClap();
    makeCrash();
    makeTom();
    makeRiser();
    makeBass();
    makePad();
    makeLead();
    makeArp();
    makeBell();

    newInstrument("Kick", 1, 80, -1);
    newInstrument("Snare", 2, 128, -1);
    newInstrument("Hat", 3, 128, 40);
    newInstrument("Open hat", 4, 80, 24);
    newInstrument("Clap", 5, 110, -1);
    newInstrument("Crash", 6, 120, -1);
    newInstrument("Tom", 7, 100, -1);
    newInstrument("Riser", 8, 70, -1);

    SynthInstrument& bass = newInstrument("Bass", 9, 72, -1);
    static const int BASS_ENV[] = {0, 64, 3, 56, 40, 44};
    setEnvelope(bass.volumeEnvelope, 3, BASS_ENV, 2);
    bass.fadeOut = 256;

    SynthInstrument& pad = newInstrument("Pad", 10, 64, -1);
    static const int PAD_ENV[] = {0, 0, 10, 56, 30, 64, 60, 52};
    setEnvelope(pad.volumeEnvelope, 4, PAD_ENV, 3);
    pad.newNoteAction = 3;
    pad.fadeOut = 100;

    SynthInstrument& lead = newInstrument("Lead", 11, 100, -1);
    static const int LEAD_ENV[] = {0, 40, 2, 64, 12, 52, 60, 44};
    setEnvelope(lead.volumeEnvelope, 4, LEAD_ENV, 3);
    lead.fadeOut = 128;

    SynthInstrument& arp = newInstrument("Arp", 12, 44, 20);
    static const int ARP_ENV[] = {0, 64, 4, 30, 14, 8, 30, 0};
    setEnvelope(arp.volumeEnvelope, 4, ARP_ENV, -1);

    SynthInstrument& bell = newInstrument("Bell", 13, 64, 44);
    bell.newNoteAction = 1;
    bell.fadeOut = 64;

    SynthInstrument& stab = newInstrument("Stab", 10, 90, -1);
    static const int STAB_ENV[] = {0, 64, 4, 44, 20, 20, 45, 0};
    setEnvelope(stab.volumeEnvelope, 4, STAB_ENV, -1);
}
