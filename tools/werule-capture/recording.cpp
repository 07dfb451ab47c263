// Every function here runs on the main thread but noteInterrupt, the
// handler of SIGINT and SIGTERM.
#include "tools/werule-capture/recording.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "assets/assets.h"
#include "platform/tools.h"
#include "show/cues.h"
#include "show/replay.h"
#include "tools/werule-capture/capture.h"
#include "tools/werule-capture/encode.h"
#include "tools/werule-capture/video.h"

// What a video capture has written that is not yet its result, all of it
// removed when the capture fails.
struct CaptureLeftovers {
    char partial[4200];  // the output under its temporary name, "" when none
    char sound[4300];    // the span's WAV, "" when none (or ffmpeg is done with it)
    bool folder;         // partial is a frame folder (--frames), not a file
    int frames;          // frame-NNNNNN.png files begun in the folder, from 000000 on
};

// The frames a video capture draws and the ticks behind them.
struct VideoSpan {
    int firstFrame;  // frame number at the capture's fps, frame k showing k / fps s
    int endFrame;    // the frame after the last one drawn
    int ticks;       // ticks of the show replayed into videoFlash
};

// Ticks scanned first for the end cue: 160 s, the show's 144 s with room to spare.
static const int SHOW_TICKS_GUESS = 160 * CUE_TICKS_PER_SECOND;

// ------------------------------------------------------------------ state
// Main thread, one capture a process; noteInterrupt sets interrupted.
static volatile sig_atomic_t interrupted = 0;  // SIGINT or SIGTERM arrived
static float videoFlash[REPLAY_MAX_TICKS];     // flashLevel after tick n at [n - 1]

static void noteInterrupt(int)
{
    interrupted = 1;
}

static double secondsNow()
{
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec * 1e-9;
}

// The name of frame `index` in a frame folder.
static void framePath(char* path, size_t size, const char* folder, int index)
{
    snprintf(path, size, "%s/frame-%06d.png", folder, index);
}

// Bytes of one frame as the capture reads it: BGRA for ffmpeg, RGB for PNG.
static size_t frameBytes(const CaptureOptions& options)
{
    const int pixelBytes = options.mode == MODE_VIDEO ? 4 : 3;
    return static_cast<size_t>(options.width) * options.height * pixelBytes;
}

// Removes what a failed capture has written: the WAV, the frames begun in
// the frame folder and the output under its temporary name.
static void removeLeftovers(const CaptureLeftovers& leftovers)
{
    if (leftovers.sound[0] != 0) {
        unlink(leftovers.sound);
    }
    if (leftovers.partial[0] == 0) {
        return;
    }
    if (!leftovers.folder) {
        unlink(leftovers.partial);
        return;
    }
    char path[4300];
    for (int frame = 0; frame < leftovers.frames; ++frame) {
        framePath(path, sizeof path, leftovers.partial, frame);
        unlink(path);
    }
    rmdir(leftovers.partial);
}

// Says what went wrong (when `what` is not nullptr), removes the leftovers
// and gives the exit status of a failed capture.
static int videoFailure(const CaptureLeftovers& leftovers, const char* what)
{
    if (what != nullptr) {
        fprintf(stderr, "werule-capture: %s\n", what);
    }
    removeLeftovers(leftovers);
    return 1;
}

// Writes the temporary name beside `out` to leftovers->partial: out's
// folder, then ".NAME.partial-PID", which nobody else uses. False, with the
// message printed, when out ends in a slash.
static bool nameBeside(const char* out, CaptureLeftovers* leftovers)
{
    const char* slash = strrchr(out, '/');
    const int folderLength = slash != nullptr ? static_cast<int>(slash - out) : -1;
    const char* base = slash != nullptr ? slash + 1 : out;
    if (*base == 0) {
        fprintf(stderr, "werule-capture: %s names no file\n", out);
        return false;
    }
    const int pid = static_cast<int>(getpid());
    if (folderLength >= 0) {
        snprintf(leftovers->partial, sizeof leftovers->partial, "%.*s/.%s.partial-%d", folderLength,
                 out, base, pid);
    } else {
        snprintf(leftovers->partial, sizeof leftovers->partial, ".%s.partial-%d", base, pid);
    }
    return true;
}

// Makes the frame folder under its temporary name, its WAV inside it. An
// empty folder named `out` is removed: the final rename makes it again.
static bool claimFolder(const char* out, CaptureLeftovers* leftovers)
{
    struct stat info = {};
    if (stat(out, &info) == 0 && (!S_ISDIR(info.st_mode) || rmdir(out) != 0)) {
        fprintf(stderr, "werule-capture: %s exists and is not an empty folder\n", out);
        return false;
    }
    if (mkdir(leftovers->partial, 0755) != 0) {
        fprintf(stderr, "werule-capture: cannot make a folder beside %s: %s\n", out,
                strerror(errno));
        return false;
    }
    leftovers->folder = true;
    snprintf(leftovers->sound, sizeof leftovers->sound, "%s/audio.wav", leftovers->partial);
    return true;
}

// Makes the video's file under its temporary name, the WAV for ffmpeg beside it.
static bool claimFile(const char* out, CaptureLeftovers* leftovers)
{
    struct stat info = {};
    if (stat(out, &info) == 0 && S_ISDIR(info.st_mode)) {
        fprintf(stderr, "werule-capture: %s is a folder\n", out);
        return false;
    }
    FILE* file = fopen(leftovers->partial, "wbx");
    if (file == nullptr) {
        fprintf(stderr, "werule-capture: cannot write beside %s: %s\n", out, strerror(errno));
        return false;
    }
    fclose(file);
    snprintf(leftovers->sound, sizeof leftovers->sound, "%s.wav", leftovers->partial);
    return true;
}

// Claims the temporary name beside the output, a folder (--frames) or a
// file (--video), and names the WAV in leftovers. False, with the message
// printed and nothing made, when it cannot.
static bool claimPartial(const CaptureOptions& options, CaptureLeftovers* leftovers)
{
    if (!nameBeside(options.out, leftovers)) {
        return false;
    }
    const bool claimed = options.mode == MODE_FRAMES ? claimFolder(options.out, leftovers)
                                                     : claimFile(options.out, leftovers);
    if (!claimed) {
        leftovers->partial[0] = 0;  // nothing was made under it
    }
    return claimed;
}

// Without --to: ends the span at the first frame after the tick that met
// the end cue, replaying all REPLAY_MAX_TICKS ticks when the first
// SHOW_TICKS_GUESS did not reach it.
static bool endAtEndCue(int fps, int endCueTick, VideoSpan* span, char* problem, size_t size)
{
    if (endCueTick == 0) {
        span->ticks = REPLAY_MAX_TICKS;
        replayCueLevels(VIDEO_SAMPLE_RATE, span->ticks, videoFlash, &endCueTick);
    }
    if (endCueTick == 0) {
        snprintf(problem, size, "the music never reaches its end cue; give --to");
        return false;
    }
    span->endFrame = videoFrameAfterTick(endCueTick, fps);
    if (span->endFrame <= span->firstFrame) {
        snprintf(problem, size, "--from is after the end of the show at %.2f s",
                 static_cast<double>(span->endFrame) / fps);
        return false;
    }
    return true;
}

// Lays out the span's frames, from --from to --to or to the show's end, and
// replays the flash of its ticks into videoFlash. False, with the problem
// written to `problem`, when the music does not load or the show ends
// before --from.
static bool planSpan(const CaptureOptions& options, VideoSpan* span, char* problem, size_t size)
{
    const int fps = options.fps;
    span->firstFrame = videoFrameAt(options.from, fps);
    span->endFrame = options.haveTo ? videoFrameAt(options.to, fps) : 0;
    span->ticks = options.haveTo ? ticksAtFrame(span->endFrame, fps) : SHOW_TICKS_GUESS;
    int endCueTick = 0;
    if (!replayCueLevels(VIDEO_SAMPLE_RATE, span->ticks, videoFlash, &endCueTick)) {
        snprintf(problem, size, "the music module does not load");
        return false;
    }
    return options.haveTo || endAtEndCue(fps, endCueTick, span, problem, size);
}

// The span's sound at 48,000 Hz, written as a WAV to `path`.
static bool writeSound(const char* path, const VideoSpan& span, int fps)
{
    const int64_t first = videoSampleAt(span.firstFrame, fps);
    const int64_t count = videoSampleAt(span.endFrame, fps) - first;
    int16_t* samples =
        static_cast<int16_t*>(malloc(static_cast<size_t>(count) * VIDEO_CHANNELS * 2 + 4));
    if (samples == nullptr) {
        return false;
    }
    bool written = platMusicRenderStereo(assetMusicIt, assetMusicItSize, VIDEO_SAMPLE_RATE, first,
                                         count, samples) &&
                   writeWav(path, samples, count, VIDEO_SAMPLE_RATE, VIDEO_CHANNELS);
    free(samples);
    return written;
}

static void showProgress(int done, int total, double showSeconds, double startedAt, bool last)
{
    const double elapsed = secondsNow() - startedAt;
    const double rate = elapsed > 0 ? done / elapsed : 0;
    const int left = rate > 0 ? static_cast<int>((total - done) / rate + 0.5) : 0;
    const int BAR = 30;
    char bar[BAR + 1];
    const int filled = total > 0 ? static_cast<int>(static_cast<int64_t>(done) * BAR / total) : BAR;
    for (int i = 0; i < BAR; ++i) {
        bar[i] = i < filled ? '#' : '.';
    }
    bar[BAR] = 0;
    fprintf(stderr, "\r[%s] frame %d/%d  show %.2f s  %.1f fps  left %d:%02d ", bar, done, total,
            showSeconds, rate, left / 60, left % 60);
    if (last) {
        fputc('\n', stderr);
    }
    fflush(stderr);
}

// Starts ffmpeg reading the frames from a pipe and the WAV from its file,
// writing the video under its temporary name.
static bool startFfmpeg(const CaptureOptions& options, const CaptureLeftovers& leftovers,
                        Encoder* encoder)
{
    char size[32], rate[16];
    snprintf(size, sizeof size, "%dx%d", options.width, options.height);
    snprintf(rate, sizeof rate, "%d", options.fps);
    const char* argv[48];
    int n = 0;
    // The frames come as GL reads them fastest: BGRA, bottom row first.
    const char* soundPath = leftovers.sound;
    const char* input[] = {"ffmpeg", "-hide_banner", "-loglevel", "error",   "-nostats",
                           "-f",     "rawvideo",     "-pix_fmt",  "bgra",    "-video_size",
                           size,     "-framerate",   rate,        "-i",      "pipe:0",
                           "-f",     "wav",          "-i",        soundPath, "-map",
                           "0:v:0",  "-map",         "1:a:0",     "-vf",     "vflip"};
    // H.264 at a quality that keeps the stars and text sharp; FFV1 in RGB.
    const char* lossy[] = {"-c:v",      "libx264",    "-preset", "superfast", "-crf", "16",
                           "-pix_fmt",  "yuv420p",    "-c:a",    "aac",       "-b:a", "256k",
                           "-movflags", "+faststart", "-f",      "mp4"};
    const char* lossless[] = {"-c:v", "ffv1", "-level", "3",  "-pix_fmt",
                              "bgr0", "-c:a", "flac",   "-f", "matroska"};
    for (const char* word : input) {
        argv[n++] = word;
    }
    if (options.lossless) {
        for (const char* word : lossless) {
            argv[n++] = word;
        }
    } else {
        for (const char* word : lossy) {
            argv[n++] = word;
        }
    }
    argv[n++] = "-y";
    argv[n++] = leftovers.partial;
    argv[n] = nullptr;
    return startEncoder(argv, encoder);
}

// Draws the present frame of the show, the span's index-th, and hands it
// on: to ffmpeg for --video, as frame-NNNNNN.png in the frame folder for
// --frames. The problem when that fails, nullptr otherwise.
static const char* outputFrame(const CaptureOptions& options, int index, uint8_t* pixels,
                               Encoder* encoder, CaptureLeftovers* leftovers)
{
    if (options.mode == MODE_VIDEO) {
        drawAndReadFrameBgra(pixels, options.width, options.height);
        if (!feedEncoder(encoder, pixels, frameBytes(options))) {
            return "ffmpeg stopped taking frames";
        }
        return nullptr;
    }
    drawAndReadFrame(pixels, options.width, options.height);
    char path[4300];
    framePath(path, sizeof path, leftovers->partial, index);
    leftovers->frames = index + 1;  // a failed write may leave part of the file
    if (!writePng(path, pixels, options.width, options.height, 3)) {
        return "cannot write a frame";
    }
    return nullptr;
}

// Plays the span frame by frame into the output, with the progress bar on
// standard error unless --quiet, until the end, a failure or an interrupt.
// The problem that stopped it, nullptr when every frame went out.
static const char* drawSpan(const CaptureOptions& options, const VideoSpan& span, uint8_t* pixels,
                            Encoder* encoder, CaptureLeftovers* leftovers)
{
    startVideoShow(options.moment.seed, options.fps, span.firstFrame, videoFlash, span.ticks);
    const int total = span.endFrame - span.firstFrame;
    const double startedAt = secondsNow();
    double shownAt = 0;
    int done = 0;
    const char* problem = nullptr;
    for (; done < total && problem == nullptr; ++done) {
        if (interrupted) {
            problem = "interrupted";
            break;
        }
        const int frame = span.firstFrame + done;
        advanceVideoTo(frame);
        problem = outputFrame(options, done, pixels, encoder, leftovers);
        const double now = secondsNow();
        if (!options.quiet && now - shownAt >= 0.25) {
            showProgress(done + 1, total, static_cast<double>(frame) / options.fps, startedAt,
                         false);
            shownAt = now;
        }
    }
    if (!options.quiet) {
        const double reached = static_cast<double>(span.firstFrame + done) / options.fps;
        showProgress(done, total, reached, startedAt, true);
    }
    return problem;
}

// Ends ffmpeg's run: stopped at once after a problem, else waited for, and
// the WAV it read removed once it has made the video.
static const char* finishVideo(Encoder* encoder, const char* problem, CaptureLeftovers* leftovers)
{
    if (problem != nullptr) {
        abortEncoder(encoder);
        return problem;
    }
    if (!finishEncoder(encoder)) {
        return "ffmpeg failed";
    }
    unlink(leftovers->sound);
    leftovers->sound[0] = 0;
    return nullptr;
}

// Renders the span with a GL context and, for --video, ffmpeg, closing both
// after. The problem that stopped it, nullptr when the result is complete
// under its temporary name.
static const char* renderSpan(const CaptureOptions& options, const VideoSpan& span,
                              CaptureLeftovers* leftovers)
{
    uint8_t* pixels = static_cast<uint8_t*>(malloc(frameBytes(options)));
    if (pixels == nullptr) {
        return "no memory for a frame";
    }
    if (!openCapture(options.width, options.height, options.moment.seed)) {
        free(pixels);
        return "no offscreen GL context";
    }
    Encoder encoder = {0, -1};
    if (options.mode == MODE_VIDEO && !startFfmpeg(options, *leftovers, &encoder)) {
        closeCapture();
        free(pixels);
        return "cannot start ffmpeg";
    }
    const char* problem = drawSpan(options, span, pixels, &encoder, leftovers);
    closeCapture();
    free(pixels);
    if (options.mode == MODE_VIDEO) {
        problem = finishVideo(&encoder, problem, leftovers);
    }
    return problem;
}

// Gives the complete result the output's name.
static int nameResult(const CaptureOptions& options, const CaptureLeftovers& leftovers)
{
    if (rename(leftovers.partial, options.out) == 0) {
        return 0;
    }
    fprintf(stderr, "werule-capture: cannot name the result %s: %s\n", options.out,
            strerror(errno));
    return videoFailure(leftovers, nullptr);
}

// Captures the span as a video or a frame folder, made under a temporary
// name and renamed when complete: 0 then, 1 with the problem printed and
// nothing left behind otherwise.
int captureVideo(const CaptureOptions& options)
{
    if (options.mode == MODE_VIDEO && !findProgram("ffmpeg")) {
        fprintf(stderr, "werule-capture: the ffmpeg program is not in PATH; --video needs it "
                        "(Debian package ffmpeg), --frames does not\n");
        return 1;
    }
    CaptureLeftovers leftovers = {};
    if (!claimPartial(options, &leftovers)) {
        return 1;
    }
    signal(SIGINT, noteInterrupt);
    signal(SIGTERM, noteInterrupt);
    VideoSpan span = {};
    char problem[128];
    if (!planSpan(options, &span, problem, sizeof problem)) {
        return videoFailure(leftovers, problem);
    }
    if (!writeSound(leftovers.sound, span, options.fps)) {
        return videoFailure(leftovers, "cannot render or write the sound");
    }
    const char* failed = renderSpan(options, span, &leftovers);
    if (failed != nullptr) {
        return videoFailure(leftovers, failed);
    }
    return nameResult(options, leftovers);
}
