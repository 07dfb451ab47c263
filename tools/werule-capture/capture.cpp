#include "tools/werule-capture/capture.h"

#include <GL/gl.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/startup.h"
#include "app/view.h"
#include "platform/tools.h"
#include "scene/frame.h"
#include "scene/stars.h"
#include "show/cues.h"
#include "show/state.h"

// ------------------------------------------------------------------ state
// Main thread only.
static bool scenePrepared = false;  // prepareScene has run in this process

static const int FRAMES_PER_SECOND = 60;  // the display the flips are replayed for
// Keeps a time given in decimal, like 0.3 s, on the tick it names.
static const double TIME_SLACK = 1e-9;  // ticks or frames

int ticksAt(double seconds)
{
    if (!(seconds > 0)) {
        return 0;
    }
    return static_cast<int>(
        std::floor(seconds * static_cast<int>(CUE_TICKS_PER_SECOND) + TIME_SLACK));
}

int framesBefore(double seconds)
{
    if (!(seconds > 0)) {
        return 0;
    }
    return static_cast<int>(std::ceil(seconds * FRAMES_PER_SECOND - TIME_SLACK));
}

int ticksAtFrame(int frame, int fps)
{
    return static_cast<int>(static_cast<int64_t>(frame) * CUE_TICKS_PER_SECOND / fps);
}

void replayTick()
{
    advanceShowClock();
    moveStars();
}

void prepareScene(unsigned seed)
{
    if (scenePrepared) {
        return;
    }
    prepareShow(seed);
    scenePrepared = true;
}

void replayShowTo(unsigned seed, int frames, int fps, int ticks)
{
    srand(seed);
    scatterStars();
    showTime.store(0, std::memory_order_relaxed);
    resetFrameState();
    int ticksRun = 0;
    for (int frame = 0; frame < frames; ++frame) {
        // Frame k is drawn at k / fps s, after the ticks up to that time.
        const int due = ticksAtFrame(frame, fps);
        for (; ticksRun < due && ticksRun < ticks; ++ticksRun) {
            replayTick();
        }
        flipPanelAt(showTime.load(std::memory_order_relaxed));
    }
    for (; ticksRun < ticks; ++ticksRun) {
        replayTick();
    }
}

void setShowStateAt(const ShowMoment& moment)
{
    replayShowTo(moment.seed, framesBefore(moment.seconds), FRAMES_PER_SECOND,
                 ticksAt(moment.seconds));
    flashLevel.store(moment.flash, std::memory_order_relaxed);
}

bool openCapture(int width, int height, unsigned seed)
{
    if (!platOpenOffscreen(width, height)) {
        return false;
    }
    resizeView(width, height);
    setBaseState();
    prepareScene(seed);
    return true;
}

void closeCapture()
{
    platCloseOffscreen();
}

void captureFrame(const ShowMoment& moment, uint8_t* rgb, int width, int height)
{
    setShowStateAt(moment);
    drawAndReadFrame(rgb, width, height);
}

// Draws the frame of the present state and reads the whole drawable back
// in format (GL_RGB or GL_BGRA), bottom row first. Main thread.
static void drawAndReadBack(uint8_t* pixels, int width, int height, GLenum format)
{
    drawFrame();
    glFinish();
    GLint drawBuffer = GL_BACK;
    glGetIntegerv(GL_DRAW_BUFFER, &drawBuffer);
    glReadBuffer(static_cast<GLenum>(drawBuffer));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, format, GL_UNSIGNED_BYTE, pixels);
}

void drawAndReadFrame(uint8_t* rgb, int width, int height)
{
    drawAndReadBack(rgb, width, height, GL_RGB);
    // GL gives the bottom row first; a picture file starts with the top row.
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    uint8_t* swap = static_cast<uint8_t*>(malloc(rowBytes));
    if (swap == nullptr) {
        return;
    }
    for (int top = 0, bottom = height - 1; top < bottom; ++top, --bottom) {
        memcpy(swap, rgb + top * rowBytes, rowBytes);
        memcpy(rgb + top * rowBytes, rgb + bottom * rowBytes, rowBytes);
        memcpy(rgb + bottom * rowBytes, swap, rowBytes);
    }
    free(swap);
}

void drawAndReadFrameBgra(uint8_t* bgra, int width, int height)
{
    drawAndReadBack(bgra, width, height, GL_BGRA);
}
