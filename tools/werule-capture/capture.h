// Still frames of the show without a window: the intro's own start-up steps
// and drawFrame, with the show's state set to what it is at a chosen time.
#pragma once

#include <cstdint>

// The moment a still shows.
struct ShowMoment {
    double seconds;  // since the cue timer started
    unsigned seed;   // the random generator's seed for the star scatter
    float flash;     // flashLevel, 0 to 253
};

// The show's 20 ms ticks that have run by `seconds`: seconds / 0.02, rounded down.
int ticksAt(double seconds);
// Frames a 60-per-second main loop has drawn before `seconds` (from 0 on).
int framesBefore(double seconds);
// Ticks run by frame k of a loop drawing fps frames a second: floor(k / fps
// / 0.02 s), in whole numbers.
int ticksAtFrame(int frame, int fps);

// One tick of the show clock as the cue timer runs it: showTime + 0.2 and
// the stars moved. Main thread (no timer runs in a capture).
void replayTick();

// The intro's own preparation of the picture (prepareShow), once a process;
// each moment then scatters its stars again from its own seed. Main thread,
// GL context current.
void prepareScene(unsigned seed);

// Sets showTime, the stars and panelSelect to what a loop drawing fps frames
// a second has reached after `frames` frames (frame k drawn at k / fps s,
// after the ticks due by then, flipping the panel) and `ticks` ticks, the
// stars scattered with seed. Main thread.
void replayShowTo(unsigned seed, int frames, int fps, int ticks);

// Sets showTime, the stars, panelSelect and flashLevel to what the show has
// at the moment: stars scattered with the seed, then the ticks replayed in
// order with the flips of every 60-per-second frame drawn in between.
void setShowStateAt(const ShowMoment& moment);

// Opens an offscreen context of width by height, lays the view as the
// intro's window does and prepares the scene with seed. False when no
// context opens.
bool openCapture(int width, int height, unsigned seed);
void closeCapture();

// Draws the frame of the moment and reads it back: width * height RGB
// pixels, top row first. Main thread, after openCapture.
void captureFrame(const ShowMoment& moment, uint8_t* rgb, int width, int height);
// Draws the frame of the show's present state and reads it back the same way.
void drawAndReadFrame(uint8_t* rgb, int width, int height);
// The same frame as GL holds it, the cheapest to read: width * height
// pixels of the bytes B, G, R, A, bottom row first.
void drawAndReadFrameBgra(uint8_t* bgra, int width, int height);
