// What the capture tool hands its pictures and sound to: the ffmpeg program
// through a pipe, and plain PNG and WAV files.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

// True when a directory of PATH holds an executable file named name.
bool findProgram(const char* name);

// Writes frames interleaved 16-bit frames of channels channels at rate Hz as
// a PCM WAV file. False on any write failure.
bool writeWav(const char* path, const int16_t* samples, int64_t frames, int rate, int channels);

// Writes width by height RGB pixels, top row first, as an 8-bit RGB PNG
// at zlib level `level` (-1: the library's default). False on any failure.
bool writePng(const char* path, const uint8_t* rgb, int width, int height, int level);

// A running encoder: its process and the pipe to its standard input.
struct Encoder {
    pid_t pid;  // 0 when none runs
    int input;  // write end of the pipe, -1 when closed
};

// Starts argv[0] (looked up in PATH) with its standard input on a pipe.
bool startEncoder(const char* const* argv, Encoder* encoder);
// Writes all of bytes to the encoder; false when it has gone.
bool feedEncoder(Encoder* encoder, const void* bytes, size_t length);
// Closes the pipe and waits: true when the encoder exited with status 0.
bool finishEncoder(Encoder* encoder);
// Stops the encoder at once and waits for it.
void abortEncoder(Encoder* encoder);
