// The polling main loop. Main thread.
#pragma once

// Runs until quitRequested is found set, a quit message is taken, or Esc is
// found held, or pressed since the last such pass, on a pass with an empty
// queue and an active window. Returns the
// exit code: the quit message's code, or 0 for Esc and the end cue.
int runMainLoop();

// The same loop a pass at a time, for a host that must get control back
// between frames (a browser page): beginMainLoop before the first pass,
// then runLoopPass until it returns false. A pass takes messages until the
// queue is empty, then draws and swaps one frame when the window is active.
// False when the loop has ended, with *exitCode set as runMainLoop returns it.
void beginMainLoop();
bool runLoopPass(int* exitCode);
