#include "tools/werule-capture/encode.h"

#include <png.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool findProgram(const char* name)
{
    const char* path = getenv("PATH");
    if (path == nullptr) {
        return false;
    }
    char candidate[4096];
    while (*path != 0) {
        const char* end = strchr(path, ':');
        const size_t length = end != nullptr ? static_cast<size_t>(end - path) : strlen(path);
        // An empty entry names the working directory.
        const int written = length == 0 ? snprintf(candidate, sizeof candidate, "./%s", name)
                                        : snprintf(candidate, sizeof candidate, "%.*s/%s",
                                                   static_cast<int>(length), path, name);
        struct stat info = {};
        if (written > 0 && static_cast<size_t>(written) < sizeof candidate &&
            stat(candidate, &info) == 0 && S_ISREG(info.st_mode) && access(candidate, X_OK) == 0) {
            return true;
        }
        path += length;
        if (*path == ':') {
            ++path;
        }
    }
    return false;
}

static void putLittle(uint8_t* at, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

bool writeWav(const char* path, const int16_t* samples, int64_t frames, int rate, int channels)
{
    const int64_t dataBytes = frames * channels * 2;
    if (dataBytes > 0xFFFFFFFFll - 36) {
        return false;
    }
    // RIFF header, "fmt " chunk of PCM, "data" chunk.
    uint8_t header[44];
    memcpy(header, "RIFF", 4);
    putLittle(header + 4, static_cast<uint32_t>(36 + dataBytes), 4);
    memcpy(header + 8, "WAVEfmt ", 8);
    putLittle(header + 16, 16, 4);
    putLittle(header + 20, 1, 2);  // PCM
    putLittle(header + 22, static_cast<uint32_t>(channels), 2);
    putLittle(header + 24, static_cast<uint32_t>(rate), 4);
    putLittle(header + 28, static_cast<uint32_t>(rate * channels * 2), 4);
    putLittle(header + 32, static_cast<uint32_t>(channels * 2), 2);
    putLittle(header + 34, 16, 2);
    memcpy(header + 36, "data", 4);
    putLittle(header + 40, static_cast<uint32_t>(dataBytes), 4);
    FILE* file = fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    bool written = fwrite(header, 1, sizeof header, file) == sizeof header;
    // Samples go out little-endian, as this machine holds them.
    written = written && fwrite(samples, 1, static_cast<size_t>(dataBytes), file) ==
                             static_cast<size_t>(dataBytes);
    return fclose(file) == 0 && written;
}

bool startEncoder(const char* const* argv, Encoder* encoder)
{
    encoder->pid = 0;
    encoder->input = -1;
    int ends[2];
    if (pipe(ends) != 0) {
        return false;
    }
    // A gone encoder shows as a failed write, not as a signal.
    signal(SIGPIPE, SIG_IGN);
    const pid_t pid = fork();
    if (pid < 0) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    if (pid == 0) {
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        close(ends[1]);
        execvp(argv[0], const_cast<char* const*>(argv));
        _exit(127);
    }
    close(ends[0]);
    encoder->pid = pid;
    encoder->input = ends[1];
    return true;
}

bool feedEncoder(Encoder* encoder, const void* bytes, size_t length)
{
    const uint8_t* at = static_cast<const uint8_t*>(bytes);
    while (length > 0) {
        const ssize_t written = write(encoder->input, at, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        at += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

static int waitEncoder(Encoder* encoder)
{
    int status = 0;
    while (waitpid(encoder->pid, &status, 0) < 0 && errno == EINTR) {
    }
    encoder->pid = 0;
    return status;
}

bool finishEncoder(Encoder* encoder)
{
    if (encoder->input >= 0) {
        close(encoder->input);
        encoder->input = -1;
    }
    if (encoder->pid == 0) {
        return false;
    }
    const int status = waitEncoder(encoder);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void abortEncoder(Encoder* encoder)
{
    if (encoder->input >= 0) {
        close(encoder->input);
        encoder->input = -1;
    }
    if (encoder->pid != 0) {
        kill(encoder->pid, SIGTERM);
        waitEncoder(encoder);
    }
}

// Writes width by height RGB pixels, top row first, as an 8-bit RGB PNG
// at zlib level `level` (-1: the library's default).
bool writePng(const char* path, const uint8_t* rgb, int width, int height, int level)
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
    if (level >= 0) {
        png_set_compression_level(png, level);
    }
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
