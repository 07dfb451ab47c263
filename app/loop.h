// The polling main loop. Main thread.
#pragma once

// Runs until quitRequested is found set, a quit message is taken, or Esc is
// found held, or pressed since the last such pass, on a pass with an empty
// queue and an active window. Returns the
// exit code: the quit message's code, or 0 for Esc and the end cue.
int runMainLoop();
