// The capture tool's options through CLI11, which knows the conventions of
// a command line (--help, values, unknown and malformed options) and throws
// what it finds wrong; this file alone sees its exceptions. The options'
// combinations are checked here after it.
#include "tools/werule-capture/options.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "show/cues.h"
#include "show/replay.h"
#include "tools/werule-capture/video.h"

// The longest span the flash replay covers, in seconds.
static const double MAX_SECONDS =
    static_cast<int>(REPLAY_MAX_TICKS) / static_cast<double>(CUE_TICKS_PER_SECOND);
static const int MAX_SIDE = 8192;  // pixels

// The options as CLI11 hands them over, before they are checked together.
struct ParsedOptions {
    double at = 0;
    std::string out;
    std::string video;
    std::string frames;
    std::string size = "800x600";
    unsigned seed = 1;
    float flash = 0;
    int fps = 60;
    double from = 0;
    double to = 0;
    bool lossless = false;
    bool quiet = false;
};

// Reads WxH; false when the text is not two whole numbers from 1 to MAX_SIDE.
static bool readSize(const std::string& text, int* width, int* height)
{
    char rest = 0;
    return sscanf(text.c_str(), "%dx%d%c", width, height, &rest) == 2 && *width >= 1 &&
           *height >= 1 && *width <= MAX_SIDE && *height <= MAX_SIDE;
}

static std::string checkSize(const std::string& text)
{
    int width = 0, height = 0;
    return readSize(text, &width, &height) ? "" : "takes WxH, each 1 to 8192";
}

static std::string checkName(const std::string& text)
{
    return text.empty() ? "the output name is empty" : "";
}

// A check that the value is a number from low to high (a whole one when
// whole is set), as CLI11 shows and applies it. Its refusal names the range.
static CLI::Validator inRange(double low, double high, bool whole)
{
    char description[64], refusal[96];
    snprintf(description, sizeof description, "%s in [%.10g, %.10g]", whole ? "WHOLE" : "NUMBER",
             low, high);
    snprintf(refusal, sizeof refusal, "takes %s from %.10g to %.10g",
             whole ? "a whole number" : "a number", low, high);
    return CLI::Validator(
        [low, high, whole, refusal = std::string(refusal)](std::string& text) {
            char* end = nullptr;
            const double value = strtod(text.c_str(), &end);
            const bool number = end != text.c_str() && *end == 0;
            const bool fits = number && value >= low && value <= high &&
                              (!whole || value == static_cast<double>(static_cast<int64_t>(value)));
            return fits ? std::string() : refusal;
        },
        description);
}

// Declares every option of the tool on app, each with its value in parsed;
// the help shows the defaults of those that have one.
static void declareOptions(CLI::App& app, ParsedOptions& parsed)
{
    app.add_option("--at", parsed.at, "A still: the frame SECONDS after the cue timer started")
        ->type_name("SECONDS")
        ->check(inRange(0, 100000, false));
    app.add_option("--out", parsed.out, "The still's PNG file")->type_name("FILE.png");
    app.add_option("--video", parsed.video,
                   "A video: H.264 and AAC in MP4 through ffmpeg (FFV1 and FLAC in Matroska "
                   "with --lossless)")
        ->type_name("OUT")
        ->check(CLI::Validator(checkName, ""));
    app.add_option("--frames", parsed.frames,
                   "Frames: DIR/frame-000000.png on, and the span's sound as DIR/audio.wav")
        ->type_name("DIR")
        ->check(CLI::Validator(checkName, ""));
    app.add_option("--size", parsed.size,
                   "Picture size, each side 1 to 8192; any size gets the "
                   "same letterbox, drawn at that size")
        ->type_name("WxH")
        ->check(CLI::Validator(checkSize, ""))
        ->capture_default_str();
    app.add_option("--seed", parsed.seed, "The star scatter's seed")
        ->type_name("N")
        ->check(inRange(0, 4294967295.0, true))
        ->capture_default_str();
    app.add_option("--flash", parsed.flash,
                   "A still's flash level instead of the one the music's cues give")
        ->type_name("LEVEL")
        ->check(inRange(0, 253, false));
    app.add_option("--fps", parsed.fps, "Frames a second of show time")
        ->type_name("N")
        ->check(inRange(VIDEO_MIN_FPS, VIDEO_MAX_FPS, true))
        ->capture_default_str();
    app.add_option("--from", parsed.from, "Start of the span, in seconds of show time")
        ->type_name("S")
        ->check(inRange(0, MAX_SECONDS, false))
        ->capture_default_str();
    app.add_option("--to", parsed.to,
                   "End of the span, in seconds of show time; without it, the show's end cue")
        ->type_name("S")
        ->check(inRange(0, MAX_SECONDS, false));
    app.add_flag("--lossless", parsed.lossless, "FFV1 and FLAC in Matroska (--video)");
    app.add_flag("--quiet", parsed.quiet, "No progress bar on standard error");
}

// Says what is wrong and gives the exit status of a refusal.
static int refuse(const char* problem)
{
    fprintf(stderr, "werule-capture: %s\n", problem);
    return 2;
}

// ------------------------------------------------------------------ state
// Main thread, one reading a process: what the options point into.
static ParsedOptions parsed;

// The mode the arguments ask for; *problem set when they ask for more than one.
static int readMode(const CLI::App& app, const char** problem)
{
    const bool still = app.count("--at") > 0;
    const bool video = app.count("--video") > 0;
    const bool frames = app.count("--frames") > 0;
    if (still + video + frames > 1) {
        *problem = "give only one of --at, --video and --frames";
        return MODE_NONE;
    }
    if (!still && !video && !frames) {
        *problem = "give --at (a still), --video or --frames";
        return MODE_NONE;
    }
    return still ? MODE_STILL : video ? MODE_VIDEO : MODE_FRAMES;
}

// A still needs --out and takes none of the video's options.
static const char* checkStill(const CLI::App& app)
{
    if (app.count("--out") == 0) {
        return "--at and --out are needed";
    }
    for (const char* name : {"--fps", "--from", "--to", "--lossless", "--quiet"}) {
        if (app.count(name) > 0) {
            return "--fps, --from, --to, --lossless and --quiet are for --video and --frames";
        }
    }
    return nullptr;
}

// A video or frame folder takes none of the still's options, a span of at
// least one frame and, in H.264, an even size.
static const char* checkVideo(const CLI::App& app, const CaptureOptions& options)
{
    if (app.count("--out") > 0 || app.count("--flash") > 0) {
        return "--out and --flash are for stills (--at)";
    }
    if (options.mode == MODE_FRAMES && options.lossless) {
        return "--lossless is for --video; PNG frames are lossless already";
    }
    if (options.haveTo &&
        videoFrameAt(options.to, options.fps) <= videoFrameAt(options.from, options.fps)) {
        return "--to must come after --from (by at least one frame)";
    }
    if (options.mode == MODE_VIDEO && !options.lossless &&
        (options.width % 2 != 0 || options.height % 2 != 0)) {
        return "H.264 video needs an even width and height (or give --lossless)";
    }
    return nullptr;
}

// The parsed values as the capture takes them.
static void takeValues(const CLI::App& app, CaptureOptions* options)
{
    options->moment = {parsed.at, parsed.seed, parsed.flash};
    options->out = options->mode == MODE_STILL   ? parsed.out.c_str()
                   : options->mode == MODE_VIDEO ? parsed.video.c_str()
                                                 : parsed.frames.c_str();
    readSize(parsed.size, &options->width, &options->height);
    options->haveFlash = app.count("--flash") > 0;
    options->fps = parsed.fps;
    options->from = parsed.from;
    options->to = parsed.to;
    options->haveTo = app.count("--to") > 0;
    options->lossless = parsed.lossless;
    options->quiet = parsed.quiet;
}

int readCaptureOptions(int argc, char** argv, CaptureOptions* options)
{
    CLI::App app("", "werule-capture");
    app.get_formatter()->label("Usage", "usage");
    app.footer("Renders the show without any window, through its own drawing and timing code:\n"
               "  a still:  werule-capture --at SECONDS --out FILE.png [--size WxH] [--seed N]\n"
               "            [--flash LEVEL]\n"
               "  a video:  werule-capture --video OUT.mp4 [--fps N] [--size WxH] [--seed N]\n"
               "            [--from S] [--to S] [--lossless] [--quiet]\n"
               "  frames:   werule-capture --frames DIR [the video's options but --lossless]");
    declareOptions(app, parsed);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        fputs(app.help().c_str(), stdout);
        return 0;
    } catch (const CLI::ParseError& error) {
        return refuse(error.what());
    }
    const char* problem = nullptr;
    options->mode = readMode(app, &problem);
    if (problem != nullptr) {
        return refuse(problem);
    }
    takeValues(app, options);
    problem = options->mode == MODE_STILL ? checkStill(app) : checkVideo(app, *options);
    return problem != nullptr ? refuse(problem) : -1;
}
