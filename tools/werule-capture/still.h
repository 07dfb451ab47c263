// A still of the show: one frame drawn offscreen, written as a PNG.
#pragma once

#include "tools/werule-capture/options.h"

// Draws the frame at options.moment (its flash from the music's cues
// unless --flash gave one) and writes it to options.out: 0 then, 1 with the
// problem printed otherwise. Main thread.
int captureStill(CaptureOptions& options);
