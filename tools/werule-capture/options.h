// The capture tool's command line: what to capture, and how.
#pragma once

#include "tools/werule-capture/capture.h"

enum CaptureMode { MODE_NONE, MODE_STILL, MODE_VIDEO, MODE_FRAMES };

struct CaptureOptions {
    int mode = MODE_NONE;
    ShowMoment moment = {0, 1, 0};  // --at seconds, --seed, --flash level
    const char* out = nullptr;      // the PNG, the video file or the frame folder
    int width = 800;                // pixels
    int height = 600;
    bool haveFlash = false;  // --flash given; otherwise the music's cues decide
    int fps = 60;            // frames a second of show time
    double from = 0;         // seconds of show time
    double to = 0;           // seconds; 0 with haveTo false: the end cue
    bool haveTo = false;
    bool lossless = false;
    bool quiet = false;
};

// Reads the arguments into options. -1 when they make one capture; else the
// exit status, after the usage went to standard output (--help or -h, 0) or
// one line saying what is wrong went to standard error (2). The names in
// options stay valid for the life of the process. Main thread, once.
int readCaptureOptions(int argc, char** argv, CaptureOptions* options);
