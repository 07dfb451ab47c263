// Inside the platform layer: the music's clock that every sound backend
// shares. It keeps which position of the module was rendered for which
// moment and answers which one is heard now; when no device plays (none
// opened, or the one that played is lost or stands still) a steady clock
// stands in for the device's, so the position still keeps to real time.
// A backend only opens its device, renders into its buffers and tells
// this clock when each block will be heard and how far the device has got.
//
// Plain code: no system call and no thread of its own. Every time comes
// in as an argument, so the clock runs against any device, simulated ones
// included.
//
// Conventions, stated once:
// - Times are microseconds. Device time is the clock of the backend's
//   output, on which a frame is heard: the steady clock plus the driver's
//   latency (SDL), the frames the device has played (waveOut), the audio
//   context's time (Web Audio). Steady time is a clock of the system that
//   keeps to real time; the stand-in runs on it. They may be one clock.
// - A position is the order in the low 16 bits and the row in the high 16
//   (rows up to 32767).
// - Threads: one thread writes (the one that renders, or one that holds it
//   off, as SDL's device lock does): musicClockOpen, musicClockRest,
//   musicClockPlay, musicClockStamp, musicClockWatch, musicClockStandIn and
//   musicClockFramesDue. Any thread may call musicClockPosition,
//   musicClockStandingIn and musicClockTrailUs. What they share is relaxed
//   atomics; nothing locks.
// - What is answered: the position of the latest sub-block heard, never
//   one still to be heard, never one before the last answer, and no more
//   than one row on from the last answer: a caller that asks after several
//   rows (a late tick, a clock that jumps, the stand-in taking over) is
//   taken through them one row an answer, so no row is skipped.
#pragma once

#include <cstdint>

enum {
    MUSIC_CLOCK_SLOTS = 4096,  // sub-blocks kept: 11.9 s of 128 frames at 44.1 kHz
};
// A block that follows on from the block before.
static const int64_t MUSIC_CLOCK_NEXT = INT64_MIN;
// A device time that the device did not tell.
static const int64_t MUSIC_CLOCK_UNKNOWN = INT64_MIN;
// No frames are due: the stand-in does not run, or nothing plays.
static const int64_t MUSIC_CLOCK_NONE = INT64_MIN;

// Writer, before output starts: a new device at rate frames a second,
// nothing rendered, position 0, the device's clock ruling. Its clock may
// stand still for startLimitUs after a play before it first moves, and for
// stallLimitUs once it has moved, before musicClockWatch gives it up.
void musicClockOpen(int rate, int64_t startLimitUs, int64_t stallLimitUs);

// Writer: nothing plays; position is answered until the next play, and
// what was rendered is forgotten (a module loaded, a show ended).
void musicClockRest(uint32_t position);

// Writer: playback from position, asked for at steadyUs. flush: what was
// rendered before is not heard (the backend dropped it), so it is
// forgotten and position is answered until the first block is heard;
// otherwise it is heard first.
void musicClockPlay(uint32_t position, bool flush, int64_t steadyUs);

// Writer: frames frames have been rendered, positions[i] at frame
// i * subFrames (the first frame of each sub-block). The first frame is
// heard at device time startUs; MUSIC_CLOCK_NEXT: right after the block
// before (after a flush, at the device time musicClockStandIn gave). Each
// sub-block is stamped after the one before, however early startUs comes.
void musicClockStamp(const uint32_t* positions, int subFrames, int frames, int64_t startUs);

// Writer: the device time heard now, at steadyUs, as the device tells it
// (MUSIC_CLOCK_UNKNOWN: it tells none, as a context that does not run).
// Returns MUSIC_CLOCK_MOVED when it is told and changed since the last
// call, MUSIC_CLOCK_STILL when not, and MUSIC_CLOCK_LOST once it has stood
// still for its limit (the start limit, counted from a flushing play, until
// it is first told; the stall limit after): the stand-in has then taken
// over from the device time heard when the device last kept pace with the
// steady clock, at that moment, so the music keeps to real time; LOST is
// answered from then on.
enum { MUSIC_CLOCK_MOVED, MUSIC_CLOCK_STILL, MUSIC_CLOCK_LOST };
int musicClockWatch(int64_t steadyUs, int64_t deviceUs);

// Writer: the steady clock stands in for the device's from now on: device
// time deviceUs was heard at steady time steadyUs, and device time goes on
// from there in real time. What was rendered and not yet heard is heard on
// it, silent. Called again, it sets the stand-in anew.
void musicClockStandIn(int64_t deviceUs, int64_t steadyUs);

// Writer: how many frames the stand-in has played by steadyUs past the end
// of what is rendered (negative: rendered that far ahead); the backend
// renders them to keep up. MUSIC_CLOCK_NONE while the device's clock rules
// or nothing plays.
int64_t musicClockFramesDue(int64_t steadyUs);

// Any thread: the position heard at steadyUs, when the device tells device
// time deviceUs (MUSIC_CLOCK_UNKNOWN: it did not; the last answer stands).
// deviceUs is not read while the stand-in runs.
uint32_t musicClockPosition(int64_t steadyUs, int64_t deviceUs);

// Any thread: true while the stand-in runs.
bool musicClockStandingIn();

// Any thread: how long before the device time of the last
// musicClockPosition the latest sub-block heard then began; -1 when none
// had.
int64_t musicClockTrailUs();
