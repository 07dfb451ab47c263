// The show's start-up sequence, between opening the window and the loop.
#pragma once

// Prepares everything the picture needs, in the start-up order: the outline
// font, the random generator seeded with seed, the seven textures, the
// sphere map, the stars, the mesh and its normals. Tests the result of none
// of its steps. Main thread, GL context current. The intro and the capture
// tool both start through it.
void prepareShow(unsigned seed);

// Puts every module's show state back as a new process has it, each module
// resetting its own: the shared show values, the window's flags, the
// extension table, the panel choice, the mesh and the font. For a second
// show in the same process (the page); call with the window closed, before
// openWindow, while no tick runs. Main thread.
void resetShow();

// The intro's whole start-up: prepareShow seeded with the calendar time in
// seconds, then the music output opened, the cue timer started and the
// music played from its start, in that order. Main thread, GL current.
void startShow();
