// werule-capture --at SECONDS --out FILE.png [--size WxH] [--seed N] [--flash LEVEL]
// Renders the frame the show draws SECONDS after its cue timer started,
// without any window on screen, and writes it as a PNG. The flash is the one
// the music's cues give at that time unless --flash sets it.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "show/replay.h"
#include "tools/werule-capture/capture.h"

struct CaptureOptions {
    ShowMoment moment = {0, 1, 0};
    const char* out = nullptr;
    int width = 800;    // pixels
    int height = 600;
    bool haveTime = false;
    bool haveFlash = false;   // --flash given; otherwise the music's cues decide
};

static int usage(const char* problem)
{
    fprintf(stderr, "werule-capture: %s\n", problem);
    fprintf(stderr,
            "usage: werule-capture --at SECONDS --out FILE.png [--size WxH] [--seed N] "
            "[--flash LEVEL]\n");
    return 2;
}

// Reads a whole number or decimal; false when the text is not one.
static bool readNumber(const char* text, double* value)
{
    char* end = nullptr;
    *value = strtod(text, &end);
    return end != text && *end == 0;
}

static bool parseOptions(int argc, char** argv, CaptureOptions* options, const char** problem)
{
    for (int i = 1; i < argc; ++i) {
        const char* name = argv[i];
        if (i + 1 >= argc) {
            *problem = "an option lacks its value";
            return false;
        }
        const char* value = argv[++i];
        double number = 0;
        if (strcmp(name, "--at") == 0) {
            if (!readNumber(value, &number) || !(number >= 0) || number > 100000) {
                *problem = "--at takes seconds from 0 to 100000";
                return false;
            }
            options->moment.seconds = number;
            options->haveTime = true;
        } else if (strcmp(name, "--out") == 0) {
            options->out = value;
        } else if (strcmp(name, "--size") == 0) {
            int width = 0, height = 0;
            char rest = 0;
            if (sscanf(value, "%dx%d%c", &width, &height, &rest) != 2 || width < 1 ||
                height < 1 || width > 8192 || height > 8192) {
                *problem = "--size takes WxH, each 1 to 8192";
                return false;
            }
            options->width = width;
            options->height = height;
        } else if (strcmp(name, "--seed") == 0) {
            if (!readNumber(value, &number) || number < 0 || number > 4294967295.0 ||
                number != static_cast<double>(static_cast<unsigned long>(number))) {
                *problem = "--seed takes a whole number from 0 to 4294967295";
                return false;
            }
            options->moment.seed = static_cast<unsigned>(number);
        } else if (strcmp(name, "--flash") == 0) {
            if (!readNumber(value, &number) || !(number >= 0) || number > 253) {
                *problem = "--flash takes a level from 0 to 253";
                return false;
            }
            options->moment.flash = static_cast<float>(number);
            options->haveFlash = true;
        } else {
            *problem = "unknown option";
            return false;
        }
    }
    if (!options->haveTime || options->out == nullptr) {
        *problem = "--at and --out are needed";
        return false;
    }
    return true;
}

// Writes width by height RGB pixels, top row first, as an 8-bit RGB PNG.
static bool writePng(const char* path, const uint8_t* rgb, int width, int height)
{
    FILE* file = fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        png_write_row(png, rgb + static_cast<size_t>(y) * width * 3);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return fclose(file) == 0;
}

int main(int argc, char** argv)
{
    CaptureOptions options;
    const char* problem = nullptr;
    if (!parseOptions(argc, argv, &options, &problem)) {
        return usage(problem);
    }
    uint8_t* rgb = static_cast<uint8_t*>(malloc(static_cast<size_t>(options.width) * options.height * 3));
    if (rgb == nullptr) {
        fprintf(stderr, "werule-capture: no memory for %dx%d\n", options.width, options.height);
        return 1;
    }
    bool endCueSeen = false;
    if (!options.haveFlash &&
        !replayCueTicks(ticksAt(options.moment.seconds), &options.moment.flash, &endCueSeen)) {
        fprintf(stderr, "werule-capture: the music module does not load\n");
        free(rgb);
        return 1;
    }
    if (!openCapture(options.width, options.height)) {
        fprintf(stderr, "werule-capture: no offscreen GL context\n");
        free(rgb);
        return 1;
    }
    captureFrame(options.moment, rgb, options.width, options.height);
    closeCapture();
    const bool written = writePng(options.out, rgb, options.width, options.height);
    free(rgb);
    if (!written) {
        fprintf(stderr, "werule-capture: cannot write %s\n", options.out);
        return 1;
    }
    return 0;
}
