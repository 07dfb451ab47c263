// show-screen-probe SECONDS X Y WIDTH HEIGHT
// Watches a rectangle of the X display's root window for SECONDS, sampling
// it every 20 ms, and prints the lowest and highest mean grey level (0 to 1)
// seen: "min 0.123 max 0.987 samples 250". For end-to-end checks of what
// the intro shows at a time, where a full screenshot is too slow.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv)
{
    if (argc != 6) {
        fprintf(stderr, "usage: show-screen-probe SECONDS X Y WIDTH HEIGHT\n");
        return 2;
    }
    double seconds = atof(argv[1]);
    int x = atoi(argv[2]), y = atoi(argv[3]), width = atoi(argv[4]), height = atoi(argv[5]);
    if (!(seconds > 0) || width <= 0 || height <= 0) {
        fprintf(stderr, "show-screen-probe: bad arguments\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        fprintf(stderr, "show-screen-probe: no display\n");
        return 1;
    }
    Window root = DefaultRootWindow(display);
    Visual* visual = DefaultVisual(display, DefaultScreen(display));
    if (!visual->red_mask || !visual->green_mask || !visual->blue_mask) {
        fprintf(stderr, "show-screen-probe: not a true-colour display\n");
        return 1;
    }
    double lowest = 2, highest = -1;
    int samples = 0;
    auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    auto next = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < until) {
        XImage* image = XGetImage(display, root, x, y, static_cast<unsigned>(width),
                                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
        if (!image) {
            fprintf(stderr, "show-screen-probe: cannot read the screen\n");
            return 1;
        }
        double sum = 0;
        for (int row = 0; row < height; row++) {
            for (int column = 0; column < width; column++) {
                unsigned long pixel = XGetPixel(image, column, row);
                double red = static_cast<double>((pixel & image->red_mask) >>
                                                 __builtin_ctzl(image->red_mask));
                double green = static_cast<double>((pixel & image->green_mask) >>
                                                   __builtin_ctzl(image->green_mask));
                double blue = static_cast<double>((pixel & image->blue_mask) >>
                                                  __builtin_ctzl(image->blue_mask));
                sum += (red + green + blue) / (3.0 * 255.0);
            }
        }
        XDestroyImage(image);
        double mean = sum / (static_cast<double>(width) * height);
        lowest = mean < lowest ? mean : lowest;
        highest = mean > highest ? mean : highest;
        samples++;
        next += std::chrono::milliseconds(20);
        std::this_thread::sleep_until(next);
    }
    XCloseDisplay(display);
    printf("min %.3f max %.3f samples %d\n", lowest, highest, samples);
    return 0;
}
