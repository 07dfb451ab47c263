// Looks at the X display the intro runs on, for the end-to-end tests.
//   window-probe find TITLE    prints "ID WIDTHxHEIGHT+X+Y" of the mapped
//                              top-level window named TITLE; exit 1 if none
//   window-probe close TITLE   asks that window to close (WM_DELETE_WINDOW),
//                              as a window manager's close button does
//   window-probe bands TOP     prints the brightest channel value found in
//                              the TOP rows at the top and at the bottom of
//                              the screen, and the mean of the rows between
//   window-probe count         prints the number of mapped top-level windows
//   window-probe shown TOP LIMIT
//                              grabs the rows between the TOP rows at the top
//                              and at the bottom every 10 ms until their mean
//                              is above 2 (the scene is drawn), and prints
//                              when that grab began (milliseconds since the
//                              epoch); exit 1 if not within LIMIT seconds
//   window-probe still SECONDS LIMIT
//                              watches the whole screen every 20 ms until it
//                              has not changed for SECONDS, and prints the
//                              time of its last change (seconds since the
//                              epoch); exit 1 if it still changes after
//                              LIMIT seconds
//   window-probe lit           prints "WIDTH HEIGHT X Y" of the smallest
//                              box (X, Y from the top-left) that holds
//                              every pixel of the screen brighter than 3
//                              in its brightest channel; "0 0 0 0" when
//                              none is
//   window-probe cursor        prints the serial number of the cursor shown
//                              at the pointer and how many of its pixels
//                              are not fully transparent (XFixes)
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

static Display* display;

static bool windowNamed(Window window, const char* title)
{
    char* name = nullptr;
    bool match = XFetchName(display, window, &name) && name != nullptr && strcmp(name, title) == 0;
    if (name != nullptr) {
        XFree(name);
    }
    return match;
}

static bool isMapped(Window window)
{
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

// The first mapped top-level window named title, or 0.
static Window findWindow(const char* title)
{
    Window root = DefaultRootWindow(display);
    Window parent;
    Window* children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && found == 0; ++i) {
            if (isMapped(children[i]) && windowNamed(children[i], title)) {
                found = children[i];
            }
        }
        XFree(children);
    }
    return found;
}

static int countMapped()
{
    Window root = DefaultRootWindow(display);
    Window parent;
    Window* children = nullptr;
    unsigned count = 0;
    int mapped = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            mapped += isMapped(children[i]) ? 1 : 0;
        }
        XFree(children);
    }
    return mapped;
}

static int find(const char* title)
{
    Window window = findWindow(title);
    if (window == 0) {
        return 1;
    }
    XWindowAttributes attributes;
    XGetWindowAttributes(display, window, &attributes);
    printf("%lu %dx%d+%d+%d\n", window, attributes.width, attributes.height, attributes.x,
           attributes.y);
    return 0;
}

static int close(const char* title)
{
    Window window = findWindow(title);
    if (window == 0) {
        return 1;
    }
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    // Wait until the server has taken the request. A client that flushes and
    // exits at once can lose it: a busy server may see the connection hang up
    // before it reads what was written, and then drops the client unread.
    XSync(display, False);
    return sent != 0 ? 0 : 1;
}

static int bands(int top)
{
    Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    int width = attributes.width;
    int height = attributes.height;
    XImage* image = XGetImage(display, root, 0, 0, width, height, AllPlanes, ZPixmap);
    if (image == nullptr || top * 2 >= height) {
        return 1;
    }
    int brightestTop = 0;
    int brightestBottom = 0;
    double middleSum = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned long pixel = XGetPixel(image, x, y);
            int r = (pixel >> 16) & 255, g = (pixel >> 8) & 255, b = pixel & 255;
            int brightest = r > g ? (r > b ? r : b) : (g > b ? g : b);
            if (y < top) {
                brightestTop = brightest > brightestTop ? brightest : brightestTop;
            } else if (y >= height - top) {
                brightestBottom = brightest > brightestBottom ? brightest : brightestBottom;
            } else {
                middleSum += (r + g + b) / 3.0;
            }
        }
    }
    printf("%d %d %.2f\n", brightestTop, brightestBottom,
           middleSum / (static_cast<double>(width) * (height - 2 * top)));
    XDestroyImage(image);
    return 0;
}

static int lit()
{
    Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    const int width = attributes.width;
    const int height = attributes.height;
    XImage* image = XGetImage(display, root, 0, 0, width, height, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return 1;
    }
    int left = width, right = -1, top = height, bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            const int r = (pixel >> 16) & 255, g = (pixel >> 8) & 255, b = pixel & 255;
            if (r > 3 || g > 3 || b > 3) {
                left = x < left ? x : left;
                right = x > right ? x : right;
                top = y < top ? y : top;
                bottom = y > bottom ? y : bottom;
            }
        }
    }
    XDestroyImage(image);
    if (right < 0) {
        printf("0 0 0 0\n");
    } else {
        printf("%d %d %d %d\n", right - left + 1, bottom - top + 1, left, top);
    }
    return 0;
}

// The mean over the channels of the screen's rows between the top `top` rows
// and the bottom `top` rows, as bands prints it; -1 when they cannot be read.
static double bandMean(int top)
{
    Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    const int width = attributes.width;
    const int rows = attributes.height - 2 * top;
    if (rows <= 0) {
        return -1;
    }
    XImage* image = XGetImage(display, root, 0, top, width, rows, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return -1;
    }
    double sum = 0;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned long pixel = XGetPixel(image, x, y);
            sum +=
                static_cast<double>(((pixel >> 16) & 255) + ((pixel >> 8) & 255) + (pixel & 255));
        }
    }
    XDestroyImage(image);
    return sum / 3 / (static_cast<double>(width) * rows);
}

static int shown(int top, double limit)
{
    using Clock = std::chrono::system_clock;
    const auto start = Clock::now();
    for (;;) {
        const auto grab = Clock::now();
        if (bandMean(top) > 2) {
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(grab.time_since_epoch());
            printf("%lld\n", static_cast<long long>(ms.count()));
            return 0;
        }
        if (std::chrono::duration<double>(Clock::now() - start).count() > limit) {
            return 1;
        }
        std::this_thread::sleep_until(grab + std::chrono::milliseconds(10));
    }
}

// A 64-bit FNV-1a hash of the screen's pixels.
static uint64_t screenHash()
{
    Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image =
        XGetImage(display, root, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return 0;
    }
    uint64_t hash = 14695981039346656037ull;
    size_t bytes = static_cast<size_t>(image->bytes_per_line) * image->height;
    const unsigned char* data = reinterpret_cast<const unsigned char*>(image->data);
    for (size_t i = 0; i < bytes; ++i) {
        hash = (hash ^ data[i]) * 1099511628211ull;
    }
    XDestroyImage(image);
    return hash;
}

static int still(double quiet, double limit)
{
    using Clock = std::chrono::system_clock;
    auto start = Clock::now();
    auto changed = start;
    uint64_t last = screenHash();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        auto now = Clock::now();
        uint64_t hash = screenHash();
        if (hash != last) {
            last = hash;
            changed = now;
        } else if (std::chrono::duration<double>(now - changed).count() >= quiet) {
            break;
        }
        if (std::chrono::duration<double>(now - start).count() > limit) {
            return 1;
        }
    }
    printf("%.3f\n", std::chrono::duration<double>(changed.time_since_epoch()).count());
    return 0;
}

static int cursor()
{
    int eventBase;
    int errorBase;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase)) {
        return 1;
    }
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (image == nullptr) {
        return 1;
    }
    int opaque = 0;
    for (int i = 0; i < image->width * image->height; ++i) {
        opaque += (image->pixels[i] >> 24) != 0 ? 1 : 0;  // ARGB, alpha on top
    }
    printf("%lu %d\n", image->cursor_serial, opaque);
    XFree(image);
    return 0;
}

int main(int argc, char** argv)
{
    display = XOpenDisplay(nullptr);
    if (display == nullptr || argc < 2) {
        fprintf(stderr,
                "usage: window-probe find|close TITLE | bands TOP | count | still SECONDS LIMIT | "
                "shown TOP LIMIT | cursor | lit\n");
        return 2;
    }
    if (strcmp(argv[1], "find") == 0 && argc == 3) {
        return find(argv[2]);
    }
    if (strcmp(argv[1], "close") == 0 && argc == 3) {
        return close(argv[2]);
    }
    if (strcmp(argv[1], "bands") == 0 && argc == 3) {
        return bands(atoi(argv[2]));
    }
    if (strcmp(argv[1], "still") == 0 && argc == 4) {
        return still(atof(argv[2]), atof(argv[3]));
    }
    if (strcmp(argv[1], "cursor") == 0) {
        return cursor();
    }
    if (strcmp(argv[1], "lit") == 0) {
        return lit();
    }
    if (strcmp(argv[1], "shown") == 0 && argc == 4) {
        return shown(atoi(argv[2]), atof(argv[3]));
    }
    if (strcmp(argv[1], "count") == 0) {
        printf("%d\n", countMapped());
        return 0;
    }
    return 2;
}
