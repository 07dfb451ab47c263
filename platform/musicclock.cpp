// The music's clock of musicclock.h.
//
// Stamps: one ring slot a sub-block, written by the writer in the order it
// renders, read whole by any reader. A slot holds, in one 64-bit value,
// the device time at which its sub-block is heard (the low 32 bits of the
// microseconds, forced odd, in the high half) and its position (the low
// half), bit 31 of which marks the first sub-block of a row; 0 is empty.
// Times are compared by their difference as a signed 32-bit number, so
// they may wrap (every 71 minutes) while the ring spans far less.
//
// Answers: a reader finds, in one pass over the ring, the latest stamp
// heard, the stamp last answered, and the first and the last rows that
// began since then; it answers the first of those rows when there are
// more than one. The last answer (the play's serial and its stamp time)
// only moves on, by compare-and-swap.
#include "platform/musicclock.h"

#include <atomic>

static const uint32_t ROW_START = 0x80000000u;  // a position's bit: the first stamp of its row
static const int64_t MICROSECONDS = 1000000;

// ---- state
// Writer only:
static int clockRate;               // frames a second
static int64_t clockStartLimitUs;   // the device's clock may stand still this long before it moves
static int64_t clockStallLimitUs;   // and this long once it has moved
static bool clockPlaying;           // from a play to the next rest
static bool clockAnchored;          // clockAnchorUs holds since the last flush
static int64_t clockAnchorUs;       // device time of the first frame of the latest timed block, us
static int64_t clockAnchorFrames;   // frames rendered since that frame
static uint32_t clockLastStamp;     // time of the latest stamp (low 32 bits of us), 0 for none
static uint32_t clockLastPosition;  // its position
static int64_t clockWatchUs;        // device time last seen by musicClockWatch, us; UNKNOWN
static int64_t clockWatchSinceUs;   // steady time it was first seen at (or the play's), us
static bool clockWatchMoved;        // the device told its time since the play
// The device's clock last seen keeping pace with the steady clock: its
// time then and the steady time, us; UNKNOWN until it is told.
static int64_t clockPaceUs;
static int64_t clockPaceSinceUs;
// Any thread:
static std::atomic<uint64_t> clockRing[MUSIC_CLOCK_SLOTS];  // the stamps, as above
static std::atomic<uint32_t> clockStamps{0};  // stamps since the last flush; the next one's slot
static std::atomic<uint32_t> clockSerial{1};  // flushes so far, plus one
static std::atomic<uint64_t> clockAnswer{0};  // serial (high half) and stamp time last answered
static std::atomic<uint32_t> clockRestPosition{0};  // answered before any stamp is heard
// Device time minus steady time while the stand-in runs, us; NONE while
// the device's clock rules.
static std::atomic<int64_t> clockStandInUs{MUSIC_CLOCK_NONE};
static std::atomic<int64_t> clockRenderedUs{0};  // device time the next frame rendered is heard at
static std::atomic<int64_t> clockTrail{-1};      // musicClockTrailUs, us

// ---- the writer's side

static void clearStamps()
{
    for (auto& slot : clockRing)
        slot.store(0, std::memory_order_relaxed);
    clockStamps.store(0, std::memory_order_relaxed);
    clockLastStamp = 0;
    clockAnchored = false;
    const uint32_t serial = clockSerial.load(std::memory_order_relaxed) + 1;
    clockSerial.store(serial, std::memory_order_relaxed);
    clockAnswer.store(static_cast<uint64_t>(serial) << 32, std::memory_order_relaxed);
}

void musicClockOpen(int rate, int64_t startLimitUs, int64_t stallLimitUs)
{
    clockRate = rate > 0 ? rate : 1;
    clockStartLimitUs = startLimitUs;
    clockStallLimitUs = stallLimitUs;
    clockWatchUs = MUSIC_CLOCK_UNKNOWN;
    clockWatchSinceUs = MUSIC_CLOCK_UNKNOWN;
    clockWatchMoved = false;
    clockPaceUs = MUSIC_CLOCK_UNKNOWN;
    clockStandInUs.store(MUSIC_CLOCK_NONE, std::memory_order_relaxed);
    clockTrail.store(-1, std::memory_order_relaxed);
    musicClockRest(0);
}

void musicClockRest(uint32_t position)
{
    clearStamps();
    clockPlaying = false;
    clockRestPosition.store(position & ~ROW_START, std::memory_order_relaxed);
}

void musicClockPlay(uint32_t position, bool flush, int64_t steadyUs)
{
    if (flush) {
        clearStamps();
        clockWatchUs = MUSIC_CLOCK_UNKNOWN;
        clockWatchSinceUs = steadyUs;
        clockWatchMoved = false;
        clockPaceUs = MUSIC_CLOCK_UNKNOWN;
    }
    clockPlaying = true;
    clockRestPosition.store(position & ~ROW_START, std::memory_order_relaxed);
}

// The device time of the frame frames after the anchor's.
static int64_t anchoredUs(int64_t frames)
{
    return clockAnchorUs + frames * MICROSECONDS / clockRate;
}

static void stampOne(uint32_t position, int64_t atUs)
{
    uint32_t at = static_cast<uint32_t>(atUs) | 1u;
    if (clockLastStamp != 0 && static_cast<int32_t>(at - clockLastStamp) <= 0)
        at = clockLastStamp + 2;
    position &= ~ROW_START;
    const bool rowStart = clockLastStamp == 0 || position != clockLastPosition;
    clockLastStamp = at;
    clockLastPosition = position;
    const uint64_t slot =
        (static_cast<uint64_t>(at) << 32) | position | (rowStart ? ROW_START : 0u);
    const uint32_t stamps = clockStamps.load(std::memory_order_relaxed);
    clockRing[stamps % MUSIC_CLOCK_SLOTS].store(slot, std::memory_order_relaxed);
    clockStamps.store(stamps + 1, std::memory_order_relaxed);
}

void musicClockStamp(const uint32_t* positions, int subFrames, int frames, int64_t startUs)
{
    if (startUs != MUSIC_CLOCK_NEXT || !clockAnchored) {
        clockAnchorUs = startUs != MUSIC_CLOCK_NEXT ? startUs : 0;
        clockAnchorFrames = 0;
        clockAnchored = true;
    }
    for (int done = 0, i = 0; done < frames; done += subFrames, i++)
        stampOne(positions[i], anchoredUs(clockAnchorFrames + done));
    clockAnchorFrames += frames;
    clockRenderedUs.store(anchoredUs(clockAnchorFrames), std::memory_order_relaxed);
}

void musicClockStandIn(int64_t deviceUs, int64_t steadyUs)
{
    if (!clockAnchored) {
        // Nothing rendered since the flush: the first frame is heard at
        // deviceUs.
        clockAnchorUs = deviceUs;
        clockAnchorFrames = 0;
        clockAnchored = true;
        clockRenderedUs.store(deviceUs, std::memory_order_relaxed);
    }
    clockStandInUs.store(deviceUs - steadyUs, std::memory_order_relaxed);
}

int musicClockWatch(int64_t steadyUs, int64_t deviceUs)
{
    if (musicClockStandingIn())
        return MUSIC_CLOCK_LOST;
    if (deviceUs != MUSIC_CLOCK_UNKNOWN && deviceUs != clockWatchUs) {
        // Kept pace: at least half as far as the steady clock since it
        // last did (a device that plays in bursts keeps pace; one that
        // creeps on after it stopped playing does not).
        if (clockPaceUs == MUSIC_CLOCK_UNKNOWN ||
            2 * (deviceUs - clockPaceUs) >= steadyUs - clockPaceSinceUs) {
            clockPaceUs = deviceUs;
            clockPaceSinceUs = steadyUs;
        }
        clockWatchUs = deviceUs;
        clockWatchSinceUs = steadyUs;
        clockWatchMoved = true;
        return MUSIC_CLOCK_MOVED;
    }
    if (clockWatchSinceUs == MUSIC_CLOCK_UNKNOWN) {
        clockWatchSinceUs = steadyUs;
        return MUSIC_CLOCK_STILL;
    }
    const int64_t limitUs = clockWatchMoved ? clockStallLimitUs : clockStartLimitUs;
    if (steadyUs - clockWatchSinceUs < limitUs)
        return MUSIC_CLOCK_STILL;
    // Heard up to clockPaceUs at clockPaceSinceUs, in real time; what it
    // crept on after that does not count. A device that never told its
    // time has had nothing heard: what is rendered first is heard from the
    // play on.
    if (clockPaceUs != MUSIC_CLOCK_UNKNOWN)
        musicClockStandIn(clockPaceUs, clockPaceSinceUs);
    else
        musicClockStandIn(0, clockWatchSinceUs);
    return MUSIC_CLOCK_LOST;
}

int64_t musicClockFramesDue(int64_t steadyUs)
{
    const int64_t offsetUs = clockStandInUs.load(std::memory_order_relaxed);
    if (!clockPlaying || offsetUs == MUSIC_CLOCK_NONE)
        return MUSIC_CLOCK_NONE;
    const int64_t behindUs = steadyUs + offsetUs - clockRenderedUs.load(std::memory_order_relaxed);
    // Rounded down: a part of a frame ahead counts as a frame ahead.
    const int64_t scaled = behindUs * clockRate;
    return scaled >= 0 ? scaled / MICROSECONDS : -((-scaled + MICROSECONDS - 1) / MICROSECONDS);
}

// ---- the readers' side

namespace {
// What one pass over the ring finds; each is a slot's value, 0 for none.
struct Scan {
    uint64_t heard;     // the latest stamp at or before the time heard
    uint64_t answered;  // the latest at or before the last answer's time
    uint64_t firstRow;  // the earliest row start after the last answer, heard
    uint64_t lastRow;   // the latest row start after the last answer, heard
    uint32_t heardAge;  // how long before the time heard the first began, us
    uint32_t answeredAge;
    uint32_t firstRowAge;
    uint32_t lastRowAge;
    uint64_t oldest;  // the earliest stamp kept
};
}  // namespace

static uint32_t slotTime(uint64_t slot)
{
    return static_cast<uint32_t>(slot >> 32);
}

// The stamps against heard (when known) and answeredAt (0: no answer yet,
// so every row heard counts as after it), newest first, down to the stamp
// last answered: the answer is never older than that. A slot read before
// its newest stamp shows an older one, or none; either is passed over for
// the newer stamps around it.
static Scan scanRing(bool known, uint32_t heard, uint32_t answeredAt)
{
    Scan scan = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    const uint32_t stamps = clockStamps.load(std::memory_order_relaxed);
    const uint32_t count = stamps < MUSIC_CLOCK_SLOTS ? stamps : uint32_t{MUSIC_CLOCK_SLOTS};
    for (uint32_t i = 1; i <= count; i++) {
        const uint64_t slot =
            clockRing[(stamps - i) % MUSIC_CLOCK_SLOTS].load(std::memory_order_relaxed);
        if (slot == 0)
            continue;
        const uint32_t at = slotTime(slot);
        if (scan.oldest == 0 || static_cast<int32_t>(at - slotTime(scan.oldest)) < 0)
            scan.oldest = slot;
        if (answeredAt != 0) {
            const uint32_t age = answeredAt - at;
            if (static_cast<int32_t>(age) >= 0 && (scan.answered == 0 || age < scan.answeredAge)) {
                scan.answered = slot;
                scan.answeredAge = age;
            }
        }
        const uint32_t age = heard - at;
        if (known && static_cast<int32_t>(age) >= 0) {
            if (scan.heard == 0 || age < scan.heardAge) {
                scan.heard = slot;
                scan.heardAge = age;
            }
            const bool after = answeredAt == 0 || static_cast<int32_t>(at - answeredAt) > 0;
            if (after && (slot & ROW_START) != 0) {
                if (scan.firstRow == 0 || age > scan.firstRowAge) {
                    scan.firstRow = slot;
                    scan.firstRowAge = age;
                }
                if (scan.lastRow == 0 || age < scan.lastRowAge) {
                    scan.lastRow = slot;
                    scan.lastRowAge = age;
                }
            }
        }
        if (answeredAt != 0 && at == answeredAt)
            break;
    }
    return scan;
}

// The device time heard at steadyUs: the stand-in's, which plays nothing
// not yet rendered, or the device's.
static int64_t heardUs(int64_t steadyUs, int64_t deviceUs)
{
    const int64_t offsetUs = clockStandInUs.load(std::memory_order_relaxed);
    if (offsetUs == MUSIC_CLOCK_NONE)
        return deviceUs;
    const int64_t renderedUs = clockRenderedUs.load(std::memory_order_relaxed);
    const int64_t standInUs = steadyUs + offsetUs;
    return standInUs < renderedUs ? standInUs : renderedUs;
}

// The answer moves on to the stamp at `at` unless another reader of the same
// play already answered a later one.
static void keepAnswer(uint32_t serial, uint32_t at)
{
    uint64_t seen = clockAnswer.load(std::memory_order_relaxed);
    const uint64_t mine = (static_cast<uint64_t>(serial) << 32) | at;
    for (;;) {
        if (static_cast<uint32_t>(seen >> 32) != serial)
            return;  // a flush came between: this answer is of the play before
        const uint32_t answeredAt = static_cast<uint32_t>(seen);
        if (answeredAt != 0 && static_cast<int32_t>(at - answeredAt) <= 0)
            return;
        if (clockAnswer.compare_exchange_weak(seen, mine, std::memory_order_relaxed))
            return;
    }
}

uint32_t musicClockPosition(int64_t steadyUs, int64_t deviceUs)
{
    const int64_t heard = heardUs(steadyUs, deviceUs);
    const bool known = heard != MUSIC_CLOCK_UNKNOWN;
    const uint32_t serial = clockSerial.load(std::memory_order_relaxed);
    const uint64_t answer = clockAnswer.load(std::memory_order_relaxed);
    const uint32_t answeredAt =
        static_cast<uint32_t>(answer >> 32) == serial ? static_cast<uint32_t>(answer) : 0;
    const Scan scan = scanRing(known, static_cast<uint32_t>(heard), answeredAt);
    clockTrail.store(scan.heard != 0 ? static_cast<int64_t>(scan.heardAge) : -1,
                     std::memory_order_relaxed);

    uint64_t chosen = scan.heard;
    if (chosen == 0 || (answeredAt != 0 && static_cast<int32_t>(slotTime(chosen) - answeredAt) < 0))
        chosen = scan.answered;  // nothing heard since the last answer: it stands
    else if (scan.firstRow != 0 && scan.firstRow != scan.lastRow)
        chosen = scan.firstRow;  // more than one row since it: the next one
    // A caller that asks about a time older than every stamp kept, after
    // an answer that is no longer kept either: the earliest kept is the
    // nearest that does not go back.
    if (chosen == 0 && answeredAt != 0)
        chosen = scan.oldest;
    if (chosen == 0)
        return clockRestPosition.load(std::memory_order_relaxed);
    keepAnswer(serial, slotTime(chosen));
    return static_cast<uint32_t>(chosen) & ~ROW_START;
}

bool musicClockStandingIn()
{
    return clockStandInUs.load(std::memory_order_relaxed) != MUSIC_CLOCK_NONE;
}

int64_t musicClockTrailUs()
{
    return clockTrail.load(std::memory_order_relaxed);
}
