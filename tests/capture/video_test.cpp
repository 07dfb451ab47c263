// werule-capture --video and --frames as a user runs them: what ffprobe and
// ffmpeg read back from the files, the flash against the module's own cue
// positions, the sound against libopenmpt's own render, and the refusals.
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "platform/tools.h"

static const char* const TOOL = WERULE_CAPTURE_TOOL;
static const int RATE = 48000;  // Hz, the capture's sound clock

// The short span every capture here draws: the first flash cue lies in it.
static const double FROM = 74;
static const double TO = 76;
static const int FPS = 30;
static const int WIDTH = 320;
static const int HEIGHT = 240;

// Runs a shell command with the offscreen driver's environment (no display
// named), returns its standard output; *status gets its exit status.
static std::string run(const std::string& command, int* status = nullptr)
{
    const std::string full = "env -u DISPLAY -u WAYLAND_DISPLAY " + command;
    FILE* pipe = popen(full.c_str(), "r");
    std::string out;
    if (pipe == nullptr) {
        if (status != nullptr) {
            *status = -1;
        }
        return out;
    }
    char buffer[65536];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, got);
    }
    const int result = pclose(pipe);
    if (status != nullptr) {
        *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    }
    return out;
}

static std::string spanArguments()
{
    char text[160];
    snprintf(text, sizeof text, "--from %g --to %g --fps %d --size %dx%d", FROM, TO, FPS, WIDTH,
             HEIGHT);
    return text;
}

// Every picture of a file as rgb24 bytes, frame after frame.
static std::string decodedFrames(const std::string& file)
{
    return run("ffmpeg -v error -i " + file + " -map 0:v:0 -f rawvideo -pix_fmt rgb24 -");
}

// Every sound sample of a file as interleaved 16-bit stereo at 48,000 Hz.
static std::vector<int16_t> decodedSound(const std::string& file)
{
    const std::string bytes =
        run("ffmpeg -v error -i " + file + " -map 0:a:0 -f s16le -ac 2 -ar 48000 -");
    std::vector<int16_t> samples(bytes.size() / 2);
    memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// The value of `key=` in ffprobe's key=value lines for one stream kind.
static std::string probe(const std::string& file, const char* stream, const char* key)
{
    std::string out = run(std::string("ffprobe -v error -count_frames -select_streams ") + stream +
                          " -show_entries stream=" + key + " -of default=nw=1:nk=1 " + file);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) {
        out.pop_back();
    }
    return out;
}

// The module as the show plays it, from the start, looping; no dither, so
// that the 16-bit render depends on the module alone.
static openmpt_module* openModule()
{
    openmpt_module* module = openmpt_module_create_from_memory2(
        assetMusicIt, assetMusicItSize, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, nullptr, nullptr, nullptr);
    if (module != nullptr) {
        openmpt_module_set_repeat_count(module, -1);
        openmpt_module_ctl_set_integer(module, "dither", 0);
    }
    return module;
}

// Interleaved stereo frames [first, first + count) of libopenmpt's own
// render of the music from its start, in the platform's blocks.
static std::vector<int16_t> libopenmptSound(int64_t first, int64_t count)
{
    std::vector<int16_t> all(static_cast<size_t>(first + count + PLAT_RENDER_BLOCK_FRAMES) * 2);
    openmpt_module* module = openModule();
    if (module == nullptr) {
        return {};
    }
    for (int64_t done = 0; done < first + count;) {
        done += static_cast<int64_t>(openmpt_module_read_interleaved_stereo(
            module, RATE, PLAT_RENDER_BLOCK_FRAMES, all.data() + done * 2));
    }
    openmpt_module_destroy(module);
    return std::vector<int16_t>(all.begin() + first * 2, all.begin() + (first + count) * 2);
}

// The first 20 ms tick (1 for the first) at which libopenmpt's render
// stands on a flash cue: orders 15 ... 29 that flash, row 52 or 56.
static int firstFlashTick()
{
    openmpt_module* module = openModule();
    if (module == nullptr) {
        return -1;
    }
    const int tickFrames = RATE / 50;
    std::vector<int16_t> discard(tickFrames);
    for (int tick = 1; tick <= 200 * 50; ++tick) {
        openmpt_module_read_mono(module, RATE, tickFrames, discard.data());
        const int order = openmpt_module_get_current_order(module);
        const int row = openmpt_module_get_current_row(module);
        if (order == 15 && (row == 52 || row == 56)) {
            openmpt_module_destroy(module);
            return tick;
        }
    }
    openmpt_module_destroy(module);
    return -1;
}

// Mean brightness (0 to 255) of a rectangle of one rgb24 frame.
static double meanBrightness(const std::string& frames, int frame, int x0, int y0, int x1, int y1)
{
    const size_t frameBytes = static_cast<size_t>(WIDTH) * HEIGHT * 3;
    double sum = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            const size_t at = frame * frameBytes + (static_cast<size_t>(y) * WIDTH + x) * 3;
            sum += static_cast<uint8_t>(frames[at]) + static_cast<uint8_t>(frames[at + 1]) +
                   static_cast<uint8_t>(frames[at + 2]);
        }
    }
    return sum / (3.0 * (x1 - x0) * (y1 - y0));
}

// Names in a folder other than . and ..
static int entriesIn(const std::string& folder)
{
    return atoi(run("ls -A " + folder + " | wc -l").c_str());
}

namespace {

// One folder of captures for the whole suite: the span in H.264/AAC (with
// its progress bar kept), twice in FFV1/FLAC, and as a frame folder.
class ShortCapture : public ::testing::Test {
  protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/werule-capture-test-XXXXXX";
        folder = mkdtemp(pattern);
        progress = run(std::string(TOOL) + " --video " + folder + "/short.mp4 " + spanArguments() +
                           " 2>&1 >/dev/null",
                       &status[0]);
        run(std::string(TOOL) + " --quiet --lossless --video " + folder + "/a.mkv " +
                spanArguments(),
            &status[1]);
        run(std::string(TOOL) + " --quiet --lossless --video " + folder + "/b.mkv " +
                spanArguments(),
            &status[2]);
        run(std::string(TOOL) + " --quiet --frames " + folder + "/frames " + spanArguments(),
            &status[3]);
    }
    static void TearDownTestSuite()
    {
        run("rm -rf " + folder);
    }

    static std::string folder;
    static std::string progress;  // the progress bar of the H.264 capture
    static int status[4];
};

}  // namespace

std::string ShortCapture::folder;
std::string ShortCapture::progress;
int ShortCapture::status[4];

TEST_F(ShortCapture, FfprobeFindsTheFramesRateSizeAndSoundOfTheSpan)
{
    ASSERT_EQ(status[0], 0) << progress;
    const std::string file = folder + "/short.mp4";
    const int frames = static_cast<int>(std::lround((TO - FROM) * FPS));
    EXPECT_EQ(probe(file, "v:0", "nb_read_frames"), std::to_string(frames));
    EXPECT_EQ(probe(file, "v:0", "r_frame_rate"), std::to_string(FPS) + "/1");
    EXPECT_EQ(probe(file, "v:0", "width"), std::to_string(WIDTH));
    EXPECT_EQ(probe(file, "v:0", "height"), std::to_string(HEIGHT));
    EXPECT_EQ(probe(file, "v:0", "pix_fmt"), "yuv420p");
    EXPECT_EQ(probe(file, "a:0", "codec_name"), "aac");
    EXPECT_EQ(probe(file, "a:0", "sample_rate"), std::to_string(RATE));
    const double videoSeconds = atof(probe(file, "v:0", "duration").c_str());
    const double soundSeconds = atof(probe(file, "a:0", "duration").c_str());
    EXPECT_NEAR(videoSeconds, TO - FROM, 0.5 / FPS);
    EXPECT_NEAR(soundSeconds, videoSeconds, 1.0 / FPS);
    // The decoded sound too, sample by sample.
    const double decodedSeconds = decodedSound(file).size() / 2.0 / RATE;
    EXPECT_NEAR(decodedSeconds, videoSeconds, 1.0 / FPS);
    // The last state of the progress bar.
    EXPECT_NE(progress.find("frame " + std::to_string(frames) + "/" + std::to_string(frames)),
              std::string::npos)
        << progress;
    EXPECT_EQ(entriesIn(folder), 4) << run("ls -A " + folder);  // no temporary left
}

TEST_F(ShortCapture, TheFlashLightsTheSidePanelsAtTheFrameOfTheMusicsCue)
{
    ASSERT_EQ(status[1], 0);
    const int cueTick = firstFlashTick();
    ASSERT_GT(cueTick, 0);
    // The first frame drawn after that tick: the smallest k with k / fps >= tick / 50.
    const int cueFrame = (cueTick * FPS + 49) / 50;
    const int first = static_cast<int>(std::lround(FROM * FPS));
    ASSERT_GT(cueFrame, first);
    ASSERT_LT(cueFrame + 1, static_cast<int>(std::lround(TO * FPS)));
    const std::string frames = decodedFrames(folder + "/a.mkv");
    ASSERT_EQ(frames.size(),
              static_cast<size_t>(WIDTH) * HEIGHT * 3 * std::lround((TO - FROM) * FPS));
    // The white panels fill the band's outer sixths on both sides.
    const int y0 = HEIGHT * 3 / 8, y1 = HEIGHT * 5 / 8;
    auto sides = [&](int frame) {
        return (meanBrightness(frames, frame - first, 0, y0, WIDTH / 12, y1) +
                meanBrightness(frames, frame - first, WIDTH - WIDTH / 12, y0, WIDTH, y1)) /
               2;
    };
    const double before = sides(cueFrame - 1);
    const double at = sides(cueFrame);
    printf("side panels: %.1f before the cue frame %d, %.1f at it\n", before, cueFrame, at);
    EXPECT_LT(before, 128);
    EXPECT_GT(at, 200);
    EXPECT_GT(at, before + 100);
}

TEST_F(ShortCapture, TwoCapturesWithTheSameArgumentsAreTheSamePicturesAndSound)
{
    ASSERT_EQ(status[1], 0);
    ASSERT_EQ(status[2], 0);
    const std::string framesA = decodedFrames(folder + "/a.mkv");
    const std::string framesB = decodedFrames(folder + "/b.mkv");
    ASSERT_FALSE(framesA.empty());
    EXPECT_TRUE(framesA == framesB);
    const std::vector<int16_t> soundA = decodedSound(folder + "/a.mkv");
    ASSERT_FALSE(soundA.empty());
    EXPECT_TRUE(soundA == decodedSound(folder + "/b.mkv"));
    // Frames differ from each other: the show moves.
    const size_t frameBytes = static_cast<size_t>(WIDTH) * HEIGHT * 3;
    EXPECT_NE(framesA.compare(0, frameBytes, framesA, frameBytes, frameBytes), 0);
}

TEST_F(ShortCapture, TheSoundIsLibopenmptsOwnRenderOfTheSpan)
{
    ASSERT_EQ(status[1], 0);
    const int64_t first = std::llround(FROM * RATE);
    const int64_t count = std::llround(TO * RATE) - first;
    const std::vector<int16_t> direct = libopenmptSound(first, count);
    const std::vector<int16_t> captured = decodedSound(folder + "/a.mkv");
    ASSERT_EQ(captured.size(), direct.size());
    size_t differing = 0;
    for (size_t i = 0; i < direct.size(); ++i) {
        differing += captured[i] != direct[i];
    }
    EXPECT_EQ(differing, 0u);
    // Not silence: the span is in the middle of the music.
    int peak = 0;
    for (int16_t sample : direct) {
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    EXPECT_GT(peak, 1000);
}

TEST_F(ShortCapture, TheFrameFolderHoldsTheSamePicturesAndSoundAsTheVideo)
{
    ASSERT_EQ(status[3], 0);
    const int frames = static_cast<int>(std::lround((TO - FROM) * FPS));
    const std::string pictures =
        run("ffmpeg -v error -i " + folder + "/frames/frame-%06d.png -f rawvideo -pix_fmt rgb24 -");
    EXPECT_EQ(entriesIn(folder + "/frames"), frames + 1);
    EXPECT_TRUE(pictures == decodedFrames(folder + "/a.mkv"));
    EXPECT_TRUE(decodedSound(folder + "/frames/audio.wav") == decodedSound(folder + "/a.mkv"));
}

// A rate that does not divide 48,000: the sound still spans the frames
// to within a sample.
TEST(CaptureRates, SoundSpansThePicturesWhenTheRateDoesNotDivideTheSampleRate)
{
    char pattern[] = "/tmp/werule-capture-test-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    const int fps = 7;
    const double from = 0.3, to = 2.1;
    int status = -1;
    char arguments[160];
    snprintf(arguments, sizeof arguments, " --quiet --fps %d --from %g --to %g --size 64x48", fps,
             from, to);
    run(std::string(TOOL) + " --frames " + folder + "/f" + arguments, &status);
    ASSERT_EQ(status, 0);
    const int frames = entriesIn(folder + "/f") - 1;
    EXPECT_EQ(frames, std::lround(to * fps) - std::lround(from * fps));
    const double samples = decodedSound(folder + "/f/audio.wav").size() / 2.0;
    EXPECT_NEAR(samples, frames * static_cast<double>(RATE) / fps, 1.0);
    run("rm -rf " + folder);
}

namespace {

// Refusals: a clear message, a failing exit and nothing written.
class Refusal : public ::testing::Test {
  protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/werule-capture-test-XXXXXX";
        folder = mkdtemp(pattern);
    }
    void TearDown() override
    {
        run("rm -rf " + folder);
    }

    // Runs the tool with arguments; returns its standard error.
    std::string refused(const std::string& arguments, const std::string& environment = "")
    {
        int status = 0;
        const std::string message =
            run(environment + " " + TOOL + " " + arguments + " 2>&1 >/dev/null", &status);
        EXPECT_NE(status, 0) << arguments;
        EXPECT_EQ(message.rfind("werule-capture: ", 0), 0u) << message;
        return message;
    }

    std::string folder;
};

}  // namespace

TEST_F(Refusal, BadArgumentsNameTheProblemAndWriteNothing)
{
    const std::string out = " --video " + folder + "/out.mp4";
    EXPECT_NE(refused(out + " --size 0x240").find("--size"), std::string::npos);
    EXPECT_NE(refused(out + " --size 320x0").find("--size"), std::string::npos);
    EXPECT_NE(refused(out + " --fps 0").find("--fps"), std::string::npos);
    EXPECT_NE(refused(out + " --fps 241").find("--fps"), std::string::npos);
    EXPECT_NE(refused(out + " --fps 29.97").find("--fps"), std::string::npos);
    EXPECT_NE(refused(out + " --from 76 --to 74").find("--to must come after --from"),
              std::string::npos);
    EXPECT_NE(refused(out + " --from 74 --to 74").find("--to must come after --from"),
              std::string::npos);
    EXPECT_NE(refused(out + " --size 321x240").find("even"), std::string::npos);
    EXPECT_NE(refused(out + " --at 3").find("only one"), std::string::npos);
    EXPECT_NE(refused(" --frames " + folder + "/f --lossless").find("--lossless"),
              std::string::npos);
    EXPECT_EQ(entriesIn(folder), 0);
}

// What the command line itself gets wrong: an unknown option, a value
// missing or malformed or out of range. One line naming the problem, exit
// status 2, nothing on standard output and nothing written.
TEST_F(Refusal, MalformedCommandLinesGetOneLineAndStatusTwo)
{
    const std::string out = " --video " + folder + "/out.mp4";
    const char* cases[][2] = {
        {" --bogus 3", "--bogus"},        {" --fps", "--fps"},       {" --seed -1", "--seed"},
        {" --seed 4294967296", "--seed"}, {" --from 700", "--from"}, {" --to abc", "--to"},
        {" --size 64x48x2", "--size"},
    };
    for (const auto& [arguments, named] : cases) {
        int status = 0;
        const std::string message =
            run(std::string(TOOL) + out + arguments + " 2>&1 >/dev/null", &status);
        EXPECT_EQ(status, 2) << arguments;
        EXPECT_EQ(message.rfind("werule-capture: ", 0), 0u) << message;
        EXPECT_NE(message.find(named), std::string::npos) << message;
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
        EXPECT_EQ(run(std::string(TOOL) + out + arguments + " 2>/dev/null"), "") << arguments;
    }
    EXPECT_EQ(entriesIn(folder), 0);
}

TEST_F(Refusal, AnUnwritablePlaceIsRefusedBeforeAnyFrame)
{
    run("touch " + folder + "/plain-file");
    const std::string message =
        refused("--video " + folder + "/plain-file/out.mp4 --from 74 --to 75 --size 64x48");
    EXPECT_NE(message.find("cannot write"), std::string::npos) << message;
    EXPECT_NE(refused("--video /nonexistent-folder/out.mp4").find("cannot write"),
              std::string::npos);
    run("mkdir " + folder + "/full && touch " + folder + "/full/x");
    EXPECT_NE(refused("--frames " + folder + "/full --to 1").find("not an empty folder"),
              std::string::npos);
    EXPECT_EQ(entriesIn(folder), 2);  // plain-file and full
    EXPECT_EQ(entriesIn(folder + "/full"), 1);
}

TEST_F(Refusal, NoFfmpegInPathIsAClearErrorBeforeAnyWork)
{
    // A PATH of one empty folder: env itself is found through the shell's PATH.
    run("mkdir " + folder + "/bin");
    const std::string message =
        refused("--video " + folder + "/out.mp4 --to 1", "PATH=" + folder + "/bin");
    EXPECT_NE(message.find("ffmpeg"), std::string::npos) << message;
    EXPECT_EQ(entriesIn(folder), 1);  // bin
}

TEST_F(Refusal, AFailingEncoderLeavesNoFileBehind)
{
    // An ffmpeg that takes a little input and then fails.
    run("mkdir " + folder + "/bin && printf '#!/bin/sh\\nhead -c 1000 >/dev/null\\nexit 3\\n' > " +
        folder + "/bin/ffmpeg && chmod +x " + folder + "/bin/ffmpeg");
    const std::string message =
        refused("--quiet --video " + folder + "/out.mp4 --from 74 --to 75 --size 64x48",
                "PATH=" + folder + "/bin:$PATH");
    EXPECT_NE(message.find("ffmpeg"), std::string::npos) << message;
    EXPECT_EQ(entriesIn(folder), 1) << run("ls -A " + folder);  // bin
}

// --help and -h, wherever they come: the usage on standard output and exit
// 0; a refusal writes nothing there and exits 2.
TEST(CaptureHelp, TheUsageGoesToStandardOutputAndTheExitIsZero)
{
    for (const char* arguments : {"--help", "-h", "--at 1 --help"}) {
        int status = -1;
        const std::string usage =
            run(std::string(TOOL) + " " + arguments + " 2>/dev/null", &status);
        EXPECT_EQ(status, 0) << arguments;
        EXPECT_EQ(usage.rfind("usage: werule-capture ", 0), 0u) << arguments << ": " << usage;
        for (const char* mode : {"--at", "--video", "--frames"}) {
            EXPECT_NE(usage.find(mode), std::string::npos) << arguments << ": " << mode;
        }
    }
    int status = -1;
    EXPECT_EQ(run(std::string(TOOL) + " --fps 0 2>/dev/null", &status), "");
    EXPECT_EQ(status, 2);
}

// The usage lists every option with the defaults a capture takes.
TEST(CaptureHelp, TheUsageShowsEveryOptionAndItsDefault)
{
    const std::string usage = run(std::string(TOOL) + " --help");
    for (const char* option : {"--at", "--out", "--video", "--frames", "--size", "--seed",
                               "--flash", "--fps", "--from", "--to", "--lossless", "--quiet"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
    for (const char* shown : {"=800x600", "=1\n", "=60\n"}) {
        EXPECT_NE(usage.find(shown), std::string::npos) << shown << " in\n" << usage;
    }
}
