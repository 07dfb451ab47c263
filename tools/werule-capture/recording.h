// A span of the show as a video (through ffmpeg) or a folder of PNG frames
// with the span's sound as a WAV: every frame drawn offscreen at exactly the
// capture's frame rate of show time, the music rendered offline on the same
// clock.
#pragma once

#include "tools/werule-capture/options.h"

// Captures the span, made under a temporary name beside options.out and
// renamed when complete: 0 then, 1 with the problem printed and nothing
// left behind otherwise. SIGINT and SIGTERM stop it the same way. Main
// thread, once a process.
int captureVideo(const CaptureOptions& options);
