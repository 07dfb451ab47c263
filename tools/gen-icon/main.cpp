// gen-icon: writes the Windows program icon, one .ico file with three
// images: 32 by 32 at 16 colours, 48 by 48 and 32 by 32 at 256 colours.
//
//   gen-icon OUTFILE
//
// Each image is a white "W" with a dark outline on a night-blue ground that
// grows lighter towards the bottom; the 16-colour image has the ground in
// one colour. Single-threaded.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

// One image of the group.
struct IconImage {
    int size;          // width and height, pixels
    int bitsPerPixel;  // 4 or 8
};
static const IconImage ICON_IMAGES[] = {{32, 4}, {48, 8}, {32, 8}};
static const int ICON_IMAGE_COUNT = 3;

// Palette entries shared by both depths: 0 black, 1 outline, 2 letter.
static const uint8_t BASE_COLOURS[3][3] = {{0, 0, 0}, {20, 10, 60}, {255, 255, 255}};
// The 16-colour image's ground, and the 256-colour image's ground from top
// (entry 3) to bottom (entry 3 + GROUND_STEPS - 1).
static const uint8_t GROUND_TOP[3] = {10, 20, 90};
static const uint8_t GROUND_BOTTOM[3] = {60, 110, 200};
static const int GROUND_STEPS = 64;

// The letter's strokes in unit coordinates (y down) and their half width.
static const double STROKE_POINTS[5][2] = {
    {0.14, 0.22}, {0.32, 0.80}, {0.50, 0.40}, {0.68, 0.80}, {0.86, 0.22}};
static const double STROKE_HALF_WIDTH = 0.075;
static const double OUTLINE_WIDTH = 0.06;

static std::vector<uint8_t> fileBytes;

static void put16(uint32_t value)
{
    fileBytes.push_back(static_cast<uint8_t>(value));
    fileBytes.push_back(static_cast<uint8_t>(value >> 8));
}

static void put32(uint32_t value)
{
    put16(value & 0xFFFF);
    put16(value >> 16);
}

// Distance from (x, y) to the nearest stroke of the letter, unit coordinates.
static double strokeDistance(double x, double y)
{
    double best = 1e9;
    for (int i = 0; i + 1 < 5; ++i) {
        const double ax = STROKE_POINTS[i][0], ay = STROKE_POINTS[i][1];
        const double dx = STROKE_POINTS[i + 1][0] - ax, dy = STROKE_POINTS[i + 1][1] - ay;
        double t = ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy);
        t = t < 0 ? 0 : t > 1 ? 1 : t;
        best = std::fmin(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
    }
    return best;
}

// Palette index of pixel (x, y), y counted from the top.
static int pixelIndex(const IconImage& image, int x, int y)
{
    const double u = (x + 0.5) / image.size;
    const double v = (y + 0.5) / image.size;
    const double distance = strokeDistance(u, v);
    if (distance <= STROKE_HALF_WIDTH) {
        return 2;
    }
    if (distance <= STROKE_HALF_WIDTH + OUTLINE_WIDTH) {
        return 1;
    }
    if (image.bitsPerPixel == 4) {
        return 3;
    }
    return 3 + static_cast<int>(v * GROUND_STEPS);
}

static void putPalette(const IconImage& image)
{
    const int entries = 1 << image.bitsPerPixel;
    for (int i = 0; i < entries; ++i) {
        uint8_t rgb[3] = {0, 0, 0};
        if (i < 3) {
            for (int c = 0; c < 3; ++c) {
                rgb[c] = BASE_COLOURS[i][c];
            }
        } else if (i < 3 + GROUND_STEPS) {
            const double t = image.bitsPerPixel == 4 ? 0.0 : (i - 3) / (GROUND_STEPS - 1.0);
            for (int c = 0; c < 3; ++c) {
                rgb[c] =
                    static_cast<uint8_t>(GROUND_TOP[c] + t * (GROUND_BOTTOM[c] - GROUND_TOP[c]));
            }
        }
        fileBytes.push_back(rgb[2]);  // blue, green, red, reserved
        fileBytes.push_back(rgb[1]);
        fileBytes.push_back(rgb[0]);
        fileBytes.push_back(0);
    }
}

static int rowBytes(int bits)
{
    return (bits + 31) / 32 * 4;
}

static uint32_t imageBytes(const IconImage& image)
{
    const uint32_t palette = 4u << image.bitsPerPixel;
    const uint32_t colour = rowBytes(image.size * image.bitsPerPixel) * image.size;
    const uint32_t mask = rowBytes(image.size) * image.size;
    return 40 + palette + colour + mask;
}

// The image as the icon file holds it: header, palette, the colour rows
// bottom up, then the transparency mask (all opaque).
static void putImage(const IconImage& image)
{
    put32(40);
    put32(image.size);
    put32(image.size * 2);  // colour and mask stacked
    put16(1);
    put16(image.bitsPerPixel);
    put32(0);  // no compression
    put32(imageBytes(image) - 40 - (4u << image.bitsPerPixel));
    put32(0);
    put32(0);
    put32(0);
    put32(0);
    putPalette(image);
    for (int y = image.size - 1; y >= 0; --y) {
        std::vector<uint8_t> row(rowBytes(image.size * image.bitsPerPixel), 0);
        for (int x = 0; x < image.size; ++x) {
            const int index = pixelIndex(image, x, y);
            if (image.bitsPerPixel == 8) {
                row[x] = static_cast<uint8_t>(index);
            } else {
                row[x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? index << 4 : index);
            }
        }
        fileBytes.insert(fileBytes.end(), row.begin(), row.end());
    }
    fileBytes.insert(fileBytes.end(), rowBytes(image.size) * image.size, 0);
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: gen-icon OUTFILE\n");
        return 2;
    }
    put16(0);  // reserved
    put16(1);  // an icon file
    put16(ICON_IMAGE_COUNT);
    uint32_t offset = 6 + 16 * ICON_IMAGE_COUNT;
    for (const IconImage& image : ICON_IMAGES) {
        fileBytes.push_back(static_cast<uint8_t>(image.size));
        fileBytes.push_back(static_cast<uint8_t>(image.size));
        fileBytes.push_back(image.bitsPerPixel == 4 ? 16 : 0);  // colours; 0 means 256
        fileBytes.push_back(0);
        put16(1);  // planes
        put16(image.bitsPerPixel);
        put32(imageBytes(image));
        put32(offset);
        offset += imageBytes(image);
    }
    for (const IconImage& image : ICON_IMAGES) {
        putImage(image);
    }
    FILE* out = fopen(argv[1], "wb");
    if (out == nullptr || fwrite(fileBytes.data(), 1, fileBytes.size(), out) != fileBytes.size() ||
        fclose(out) != 0) {
        fprintf(stderr, "gen-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
