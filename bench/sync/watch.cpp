// sync-watch DIR
// The benchmark's recorder, one thread. Reads the sink's monitor as raw
// 16-bit stereo from standard input (parec) into DIR/record.raw, and notes
// in DIR/record.stamps when each read returned: "NANOSECONDS BYTES", the
// monotonic clock and the bytes received in all. Between reads it watches
// the X display (DISPLAY): each time the flash reaches the screen, a line
// "flash NANOSECONDS GREY_BEFORE GREY_AFTER" in DIR/screen.txt; each
// top-level window unmapped or destroyed, "closed NANOSECONDS"; at the end
// "changes COUNT SECONDS", how often a strip of the scene changed, as a
// lower bound on the frame rate. Ends when standard input ends.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>

// Where the flash is read: a square of the left white panel inside the
// letterbox band, root coordinates (the window lies at 0, 0).
enum { FLASH_X = 20, FLASH_Y = 280, FLASH_SIZE = 24 };
// A strip across the middle of the band, where stars move every frame.
enum { STRIP_X = 250, STRIP_Y = 296, STRIP_WIDTH = 300, STRIP_HEIGHT = 8 };
// The flash at its peak (alpha 253) is at least this grey over any scene;
// the panel has risen by at least FLASH_RISE since the previous read.
static const double FLASH_GREY = 0.95;
static const double FLASH_RISE = 0.04;

// ---- state (the one thread)
static Display* watchDisplay;            // the X connection
static unsigned char watchAudio[16384];  // one read of standard input, bytes

// Monotonic clock, nanoseconds.
static int64_t watchNowNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Mean grey (0 to 1) of a rectangle of the root window, and a checksum of
// its pixels; false when it cannot be read.
static bool watchRead(int x, int y, int width, int height, double* grey, uint64_t* checksum)
{
    XImage* image =
        XGetImage(watchDisplay, DefaultRootWindow(watchDisplay), x, y, static_cast<unsigned>(width),
                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return false;
    double sum = 0;
    uint64_t hash = 1469598103934665603ull;
    for (int row = 0; row < height; row++) {
        for (int column = 0; column < width; column++) {
            unsigned long pixel = XGetPixel(image, column, row);
            hash = (hash ^ pixel) * 1099511628211ull;
            sum +=
                static_cast<double>((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF);
        }
    }
    XDestroyImage(image);
    *grey = sum / (3.0 * 255.0 * width * height);
    *checksum = hash;
    return true;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: sync-watch DIR < raw-audio\n");
        return 2;
    }
    char path[4096];
    snprintf(path, sizeof path, "%s/record.raw", argv[1]);
    FILE* audio = fopen(path, "wb");
    snprintf(path, sizeof path, "%s/record.stamps", argv[1]);
    FILE* stamps = fopen(path, "w");
    snprintf(path, sizeof path, "%s/screen.txt", argv[1]);
    FILE* screen = fopen(path, "w");
    watchDisplay = XOpenDisplay(nullptr);
    if (!audio || !stamps || !screen || !watchDisplay) {
        fprintf(stderr, "sync-watch: cannot open the outputs or the display\n");
        return 1;
    }
    XSelectInput(watchDisplay, DefaultRootWindow(watchDisplay), SubstructureNotifyMask);

    int64_t bytes = 0, startNs = watchNowNs(), lastReadNs = startNs;
    double lastGrey = 0;
    bool armed = true;
    uint64_t lastStrip = 0;
    long changes = 0;
    for (;;) {
        pollfd input = {0, POLLIN, 0};
        if (poll(&input, 1, 1) > 0) {
            ssize_t got = read(0, watchAudio, sizeof watchAudio);
            int64_t atNs = watchNowNs();
            if (got <= 0)
                break;
            fwrite(watchAudio, 1, static_cast<size_t>(got), audio);
            bytes += got;
            fprintf(stamps, "%lld %lld\n", static_cast<long long>(atNs),
                    static_cast<long long>(bytes));
        }
        // The flash came between the previous read and this one.
        double grey = 0, stripGrey = 0;
        uint64_t checksum = 0, strip = 0;
        if (watchRead(FLASH_X, FLASH_Y, FLASH_SIZE, FLASH_SIZE, &grey, &checksum)) {
            int64_t atNs = watchNowNs();
            if (armed && grey >= FLASH_GREY && grey - lastGrey >= FLASH_RISE) {
                fprintf(screen, "flash %lld %.3f %.3f\n",
                        static_cast<long long>((lastReadNs + atNs) / 2), lastGrey, grey);
                armed = false;
            } else if (grey < FLASH_GREY - 0.01) {
                armed = true;
            }
            lastGrey = grey;
            lastReadNs = atNs;
        }
        if (watchRead(STRIP_X, STRIP_Y, STRIP_WIDTH, STRIP_HEIGHT, &stripGrey, &strip)) {
            changes += strip != lastStrip;
            lastStrip = strip;
        }
        while (XPending(watchDisplay)) {
            XEvent event;
            XNextEvent(watchDisplay, &event);
            if (event.type == UnmapNotify || event.type == DestroyNotify)
                fprintf(screen, "closed %lld\n", static_cast<long long>(watchNowNs()));
        }
    }
    fprintf(screen, "changes %ld %.3f\n", changes,
            static_cast<double>(watchNowNs() - startNs) / 1e9);
    fclose(audio);
    fclose(stamps);
    fclose(screen);
    XCloseDisplay(watchDisplay);
    return 0;
}
