// The Win32 sound layer with the embedded module, run under Wine:
//   test-platform-win32-sound.exe device|nodevice|lost [SECONDS]
// device: waveOut must open (a sound server runs); nodevice: it must not,
// and the steady clock stands in; lost: as device, and then the test prints
// "lose the device now" and the one who runs it kills the sound server: the
// layer must give the device up, the position must go on in real time
// without leaving a row out, and the end cue must come on time. Either way the position the layer
// answers moves forward from order 0, row 0, never back, and comes from
// the sub-block the output plays now, or from the one before when the
// output has played all that was rendered (the frames played of it are at
// most a sub-block); a play request from order 15, row 50 is taken up.
// With SECONDS the positions are then followed from the start that long, or
// to the end cue, and the frames played of the answered sub-block are
// summed up (median, 95th percentile).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "assets/assets.h"
#include "platform/tools.h"

enum {
    TEST_FREQUENCY = 44100,
    TEST_SUBBLOCK_FRAMES = 128,  // the layer's sub-block
    TEST_POLL_MS = 5,
    TEST_WAIT_LIMIT_MS = 30000,  // how long a position may take to come
    TEST_MAX_SAMPLES = 64000,    // trails kept: 320 s at one per 5 ms
};
static const uint32_t TEST_NO_POSITION = 0xFFFFFFFFu;
static const double TEST_MS_PER_FRAME = 1000.0 / static_cast<int>(TEST_FREQUENCY);

static int failures;
static int trails[TEST_MAX_SAMPLES];  // frames played of the answered sub-block
static int trailCount;
static int badTrails;  // answers from no sub-block, or from one the output had left
static int backwards;  // answers earlier than the one before, within one play

static void check(bool ok, const char* what, int line)
{
    printf("%s: %s (line %d)\n", ok ? "ok" : "FAILED", what, line);
    failures += ok ? 0 : 1;
}
#define CHECK(condition) check((condition), #condition, __LINE__)

// Milliseconds on the performance counter.
static double nowMs()
{
    LARGE_INTEGER count, rate;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&rate);
    return static_cast<double>(count.QuadPart) * 1000.0 / static_cast<double>(rate.QuadPart);
}

static uint64_t orderRow(uint32_t position)
{
    return (static_cast<uint64_t>(position & 0xFFFFu) << 16) | (position >> 16);
}

// One answer: its trail is recorded, and it must not go back from last.
static uint32_t follow(uint32_t music, uint32_t last)
{
    uint32_t position = platMusicPosition(music);
    int trail = platSoundLastTrailFrames();
    // Before the render thread's first sub-block the answer is the rest
    // position, from nothing published.
    if (trail < 0 && trailCount == 0)
        return position;
    if (trail < 0 || trail > TEST_SUBBLOCK_FRAMES) {
        if (badTrails++ == 0)
            printf("first answer outside a sub-block: %d frames\n", trail);
    } else if (trailCount < TEST_MAX_SAMPLES)
        trails[trailCount++] = trail;
    if (orderRow(position) < orderRow(last)) {
        if (backwards++ == 0)
            printf("back from order %u, row %u to order %u, row %u\n", last & 0xFFFFu, last >> 16,
                   position & 0xFFFFu, position >> 16);
    }
    return position;
}

// Follows the position until it reaches at least target; false when it
// does not come within the wait limit.
static bool waitFor(uint32_t music, uint32_t target, uint32_t* last)
{
    for (int waited = 0; waited < TEST_WAIT_LIMIT_MS; waited += TEST_POLL_MS) {
        *last = follow(music, *last);
        if (orderRow(*last) >= orderRow(target))
            return true;
        Sleep(TEST_POLL_MS);
    }
    return false;
}

// The lost device: played from order 1, row 0 (orders 1 to 8 play patterns
// of 64 rows, 77.16 ms each), followed for 2 s, then the device is killed,
// and each row change is set against the time it is due. How far it
// trails must not drift after the loss nor jump at it, and no row may be
// left out; then a play from row 40 of order 29 reaches the end cue on time.
static const double TEST_ROW_MS = 5 * 2500.0 / 162;
enum { TEST_MOST_ROWS = 1024 };
struct RowTrails {
    double times[TEST_MOST_ROWS];   // seconds, when each row change was seen
    double trails[TEST_MOST_ROWS];  // ms, how long after its due time
    int count;
};

// True when now is the row after before: the next row of its order, or
// row 0 of another.
static bool nextRow(uint32_t before, uint32_t now)
{
    if ((now & 0xFFFFu) != (before & 0xFFFFu))
        return (now >> 16) == 0;
    return (now >> 16) == (before >> 16) + 1;
}

// Follows the rows of orders 1 to 8 until untilMs (playMs: when order 1,
// row 0 was heard), into into once skipFromMs has passed; counts the rows
// left out. Stops early once the device is given up, when told to.
static void followRows(uint32_t music, double playMs, double untilMs, double skipFromMs,
                       RowTrails* into, uint32_t* last, int* skipped, bool untilLost)
{
    while (nowMs() < untilMs && !(untilLost && !platSoundHasDevice())) {
        uint32_t position = platMusicPosition(music);
        double at = nowMs();
        if (position != *last && (position & 0xFFFFu) >= 1 && (position & 0xFFFFu) <= 8) {
            if (!nextRow(*last, position) && (*skipped)++ == 0)
                printf("left out: order %u, row %u after order %u, row %u\n", position & 0xFFFFu,
                       position >> 16, *last & 0xFFFFu, *last >> 16);
            double due = (((position & 0xFFFFu) - 1) * 64 + (position >> 16)) * TEST_ROW_MS;
            if (at > skipFromMs && into->count < TEST_MOST_ROWS) {
                into->times[into->count] = at / 1000;
                into->trails[into->count++] = at - playMs - due;
            }
        }
        *last = position;
        Sleep(1);
    }
}

static double medianOf(double* values, int count)
{
    std::sort(values, values + count);
    return values[count / 2];
}

// The least-squares slope of the trails against time: 0 when the music
// keeps to real time, 0.01 when it falls 1 % behind.
static double driftOf(const RowTrails& rows)
{
    double n = rows.count, st = 0, sd = 0, stt = 0, sdt = 0;
    for (int i = 0; i < rows.count; i++) {
        st += rows.times[i];
        sd += rows.trails[i];
        stt += rows.times[i] * rows.times[i];
        sdt += rows.times[i] * rows.trails[i];
    }
    return (n * sdt - st * sd) / (n * stt - st * st) / 1000;
}

static RowTrails rowsBefore, rowsAfter;
static void checkLostDevice(uint32_t music)
{
    uint32_t last = 0;
    CHECK(platMusicPlay(music, 0x00000001u));
    for (int waited = 0; waited < TEST_WAIT_LIMIT_MS; waited += TEST_POLL_MS) {
        last = platMusicPosition(music);
        if ((last & 0xFFFFu) == 1 && (last >> 16) >= 4)
            break;
        Sleep(TEST_POLL_MS);
    }
    CHECK((last & 0xFFFFu) == 1 && (last >> 16) >= 4);
    double playMs = nowMs() - ((last >> 16) * TEST_ROW_MS);  // that row is heard now
    int skipped = 0;
    followRows(music, playMs, nowMs() + 2000, 0, &rowsBefore, &last, &skipped, false);
    printf("lose the device now\n");
    fflush(stdout);
    double start = nowMs();
    followRows(music, playMs, start + 14000, 0, &rowsAfter, &last, &skipped, true);
    double lostAt = nowMs() - start;
    rowsAfter.count = 0;
    followRows(music, playMs, start + 14000, nowMs() + 200, &rowsAfter, &last, &skipped, false);
    printf("the device given up %.0f ms after the kill was asked for; rows left out: %d\n", lostAt,
           skipped);
    CHECK(lostAt > 0 && lostAt < 4000);
    CHECK(skipped == 0);
    CHECK(rowsBefore.count > 10 && rowsAfter.count > 50);
    if (rowsBefore.count <= 10 || rowsAfter.count <= 50)
        return;
    double slope = driftOf(rowsAfter);
    double medianBefore = medianOf(rowsBefore.trails, rowsBefore.count);
    double medianAfter = medianOf(rowsAfter.trails, rowsAfter.count);
    printf("trail before the loss: median %.1f ms; after: median %.1f ms, drift %.2f %%\n",
           medianBefore, medianAfter, slope * 100);
    CHECK(slope > -0.004 && slope < 0.004);
    CHECK(medianAfter - medianBefore > -150 && medianAfter - medianBefore < 150);

    // A play request is heard once the queue ahead of it has played, so the
    // rows to the end cue are timed from the first one heard of order 29.
    CHECK(platMusicPlay(music, 29u | (40u << 16)));
    double limit = nowMs() + 5000;
    uint32_t position = platMusicPosition(music);
    while ((position & 0xFFFFu) != 29 && nowMs() < limit) {
        Sleep(1);
        position = platMusicPosition(music);
    }
    double from = nowMs();
    uint32_t fromRow = position >> 16;
    while (position != 0x003E001Du && nowMs() < limit) {
        Sleep(1);
        position = platMusicPosition(music);
    }
    double took = nowMs() - from;
    double due = (62.0 - fromRow) * TEST_ROW_MS;
    printf("end cue %.0f ms after row %u of order 29, due after %.0f ms\n", took, fromRow, due);
    CHECK(position == 0x003E001Du);
    CHECK(took > due - 300 && took < due + 300);
}

int main(int argc, char** argv)
{
    bool lose = argc > 1 && strcmp(argv[1], "lost") == 0;
    bool wantDevice = lose || (argc > 1 && strcmp(argv[1], "device") == 0);
    int seconds = argc > 2 ? atoi(argv[2]) : 0;

    ULONGLONG opening = GetTickCount64();
    CHECK(platSoundInit(PLAT_SOUND_DEFAULT_DEVICE, TEST_FREQUENCY));
    printf("platSoundInit took %llu ms\n", GetTickCount64() - opening);
    CHECK(!platSoundInit(PLAT_SOUND_DEFAULT_DEVICE, TEST_FREQUENCY));  // once only
    uint32_t music = platMusicLoad(assetMusicIt, assetMusicItSize, true);
    CHECK(music != 0);
    CHECK(platMusicPosition(music) == TEST_NO_POSITION);  // output not started
    CHECK(platMusicPosition(music + 1) == TEST_NO_POSITION);
    CHECK(platSoundLatencyUs() == -1);
    CHECK(platSoundStart());
    CHECK(platSoundHasDevice() == wantDevice);
    CHECK(platSoundLatencyUs() > 0);
    CHECK(platMusicLoad(assetMusicIt, assetMusicItSize, true) == 0);  // the thread owns it
    CHECK(platMusicPosition(music) == 0);                             // not yet playing
    CHECK(platMusicPlay(music, 0));
    ULONGLONG playing = GetTickCount64();

    // Row 1 of order 0 is heard 77 ms into the music, plus the queue.
    uint32_t last = 0;
    CHECK(waitFor(music, 0x00010000u, &last));
    printf("row 1 heard %llu ms after the play call\n", GetTickCount64() - playing);
    // Order 0 plays 48 rows; order 1, row 4 is past them.
    CHECK(waitFor(music, 0x00040001u, &last));
    printf("reached order %u, row %u\n", last & 0xFFFFu, last >> 16);
    CHECK(backwards == 0);

    CHECK(platMusicPlay(music, 0x0032000Fu));  // order 15, row 50
    uint32_t fromJump = 0;
    // Positions from before the request are heard first; then order 15.
    for (int waited = 0; waited < TEST_WAIT_LIMIT_MS; waited += TEST_POLL_MS) {
        fromJump = follow(music, 0);
        if ((fromJump & 0xFFFFu) == 15)
            break;
        Sleep(TEST_POLL_MS);
    }
    printf("after the jump: order %u, row %u\n", fromJump & 0xFFFFu, fromJump >> 16);
    CHECK((fromJump & 0xFFFFu) == 15 && (fromJump >> 16) >= 50);
    backwards = 0;
    last = fromJump;
    CHECK(waitFor(music, 0x0034000Fu, &last));  // the first flash cue, order 15 row 52
    CHECK(backwards == 0);
    if (lose)
        checkLostDevice(music);

    if (seconds > 0) {
        CHECK(platMusicPlay(music, 0));
        do {
            Sleep(TEST_POLL_MS);
            last = platMusicPosition(music);
        } while ((last & 0xFFFFu) != 0 || (last >> 16) > 4);
        trailCount = 0;
        backwards = 0;
        // Up to the end cue, order 29 row 62: the module loops after it.
        for (int waited = 0; waited < seconds * 1000 && orderRow(last) < orderRow(0x003E001Du);
             waited += TEST_POLL_MS) {
            last = follow(music, last);
            Sleep(TEST_POLL_MS);
        }
        printf("followed %d s to order %u, row %u\n", seconds, last & 0xFFFFu, last >> 16);
        CHECK(backwards == 0);
    }

    CHECK(trailCount > 0);
    CHECK(badTrails == 0);
    std::sort(trails, trails + trailCount);
    int median = trails[trailCount / 2];
    int p95 = trails[trailCount * 95 / 100];
    printf("trail behind the device over %d answers: median %d frames (%.2f ms), "
           "95th percentile %d frames (%.2f ms), outside a sub-block %d\n",
           trailCount, median, median * TEST_MS_PER_FRAME, p95, p95 * TEST_MS_PER_FRAME, badTrails);
    printf("%s\n", failures == 0 ? "PASS" : "FAIL");
    // The render thread and the device still run: the process ends with them.
    return failures == 0 ? 0 : 1;
}
