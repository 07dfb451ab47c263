// gen-pictures: draws the seven 256 by 256 pictures of the show and writes
// them as PNG files.
//
//   gen-pictures FONT.ttf OUTDIR
//
// FONT is Liberation Sans Bold (assets/fonts); OUTDIR receives checker.png,
// flare.png, logo.png, backdrop.png, greetings.png, credits.png and
// photo.png. Everything is computed from fixed constants and a fixed hash,
// so the same font and libraries give the same bytes on every run.
// Single-threaded; every function runs on the main thread.
#include "tools/gen-pictures/canvas.h"
#include "tools/pngwriter/pngwriter.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------- state
Colour canvas[SIDE][SIDE];

static float mask[SIDE][SIDE];  // text coverage, 0 to 1, laid out like canvas
static float glow[SIDE][SIDE];  // blurred coverage for the panels' glow, laid out like canvas
static uint8_t pixels[SIDE * SIDE * 3];  // bytes handed to the PNG writer, top row first

static FT_Library fontLibrary = nullptr;    // FreeType instance, lives for the run
static FT_Face fontFace = nullptr;          // Liberation Sans Bold
static const char* outputFolder = nullptr;  // where the PNG files go

// ---------------------------------------------------------------- helpers

float clamp01(float v)
{
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}
float mix(float a, float b, float t)
{
    return a + (b - a) * t;
}
Colour mix(Colour a, Colour b, float t)
{
    return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)};
}
float smoothstep(float edge0, float edge1, float x)
{
    float t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0f - 2.0f * t);
}

float hash2(int x, int y, int seed)
{
    uint32_t h =
        uint32_t(x) * 0x8da6b343u ^ uint32_t(y) * 0xd8163841u ^ uint32_t(seed) * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return float(h & 0xffffffu) / float(0xffffff);
}

float valueNoise(float x, float y, int period, int seed)
{
    float fx = std::floor(x), fy = std::floor(y);
    int ix = int(fx), iy = int(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    auto corner = [&](int cx, int cy) {
        return hash2(((cx % period) + period) % period, ((cy % period) + period) % period, seed);
    };
    float top = mix(corner(ix, iy), corner(ix + 1, iy), tx);
    float bottom = mix(corner(ix, iy + 1), corner(ix + 1, iy + 1), tx);
    return mix(top, bottom, ty);
}

// Fractal sum of octaves of value noise over the unit square, 0 to about 1;
// it repeats across the square's edges.
static float fractalNoise(float x, float y, int basePeriod, int octaves, int seed)
{
    float sum = 0.0f, amplitude = 0.5f, total = 0.0f;
    int period = basePeriod;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * valueNoise(x * float(period), y * float(period), period, seed + o * 17);
        total += amplitude;
        amplitude *= 0.5f;
        period *= 2;
    }
    return sum / total;
}

static void fillCanvas(Colour c)
{
    for (auto& row : canvas)
        for (auto& p : row)
            p = c;
}

static void clearMask()
{
    std::memset(mask, 0, sizeof mask);
}

// ---------------------------------------------------------------- text

// Width in pixels of text set at pixelHeight with horizontal scale xScale
// and extra tracking pixels between letters.
static float textWidth(const char* text, int pixelHeight, float xScale, float tracking)
{
    FT_Set_Pixel_Sizes(fontFace, 0, FT_UInt(pixelHeight));
    float width = 0.0f;
    for (const char* c = text; *c; ++c) {
        if (FT_Load_Char(fontFace, FT_ULong(uint8_t(*c)), FT_LOAD_DEFAULT | FT_LOAD_NO_HINTING) !=
            0)
            continue;
        width += float(fontFace->glyph->advance.x) / 64.0f * xScale + (c[1] ? tracking : 0.0f);
    }
    return width;
}

// Adds the coverage of text to mask, pen starting at (x, baseline), glyphs
// pixelHeight pixels per em, stretched by xScale across and yScale up.
static void drawText(const char* text, float x, float baseline, int pixelHeight, float xScale,
                     float yScale, float tracking)
{
    FT_Set_Pixel_Sizes(fontFace, 0, FT_UInt(pixelHeight));
    float pen = x;
    for (const char* c = text; *c; ++c) {
        FT_Matrix matrix = {FT_Fixed(xScale * 65536.0f), 0, 0, FT_Fixed(yScale * 65536.0f)};
        float whole = std::floor(pen);
        FT_Vector delta = {FT_Pos((pen - whole) * 64.0f), 0};
        FT_Set_Transform(fontFace, &matrix, &delta);
        if (FT_Load_Char(fontFace, FT_ULong(uint8_t(*c)), FT_LOAD_RENDER | FT_LOAD_NO_HINTING) ==
            0) {
            FT_GlyphSlot glyph = fontFace->glyph;
            const FT_Bitmap& bitmap = glyph->bitmap;
            int left = int(whole) + glyph->bitmap_left;
            int top = int(std::floor(baseline)) - glyph->bitmap_top;
            for (unsigned row = 0; row < bitmap.rows; ++row) {
                for (unsigned column = 0; column < bitmap.width; ++column) {
                    int px = left + int(column), py = top + int(row);
                    if (px < 0 || py < 0 || px >= SIDE || py >= SIDE)
                        continue;
                    float value =
                        float(bitmap.buffer[row * unsigned(bitmap.pitch) + column]) / 255.0f;
                    mask[py][px] = clamp01(mask[py][px] + value);
                }
            }
            pen += float(glyph->advance.x) / 64.0f + tracking;
        }
    }
    FT_Set_Transform(fontFace, nullptr, nullptr);
}

static void drawTextCentred(const char* text, float centreX, float baseline, int pixelHeight,
                            float xScale, float yScale, float tracking)
{
    float width = textWidth(text, pixelHeight, xScale, tracking);
    drawText(text, centreX - width / 2.0f, baseline, pixelHeight, xScale, yScale, tracking);
}

// ---------------------------------------------------------------- output

static uint8_t toByte(float v)
{
    return uint8_t(std::lround(clamp01(v) * 255.0f));
}

// Converts the canvas to bytes, upside down when flip is set (the picture's
// top row becomes the file's last row).
static void canvasToPixels(bool flip)
{
    for (int y = 0; y < SIDE; ++y) {
        int source = flip ? SIDE - 1 - y : y;
        for (int x = 0; x < SIDE; ++x) {
            uint8_t* p = pixels + (size_t(y) * SIDE + size_t(x)) * 3;
            p[0] = toByte(canvas[source][x].r);
            p[1] = toByte(canvas[source][x].g);
            p[2] = toByte(canvas[source][x].b);
        }
    }
}

static bool savePicture(const char* name, const PngSettings& settings)
{
    char path[4096];
    std::snprintf(path, sizeof path, "%s/%s", outputFolder, name);
    if (!pngWrite(path, pixels, SIDE, SIDE, settings)) {
        std::fprintf(stderr, "gen-pictures: cannot write %s\n", path);
        return false;
    }
    std::printf("%s: rows filtered none %d, sub %d, up %d, average %d, paeth %d\n", name,
                pngFilterCounts[0], pngFilterCounts[1], pngFilterCounts[2], pngFilterCounts[3],
                pngFilterCounts[4]);
    return true;
}

// ---------------------------------------------------------------- checker

// 8 by 8 squares of 32 pixels, pure black and white, the top-left one white.
static bool makeChecker()
{
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            float v = ((x / 32 + y / 32) % 2 == 0) ? 1.0f : 0.0f;
            canvas[y][x] = {v, v, v};
        }
    canvasToPixels(false);
    return savePicture("checker.png", {.idatChunks = 1,
                                       .fixedCodes = true,
                                       .fixedLaterHalf = false,
                                       .timeChunk = false,
                                       .physChunk = false,
                                       .gammaChunks = false});
}

// ---------------------------------------------------------------- flare

// A white star: a hot core, a soft halo and many thin tapering rays of
// varied length (four long ones, four diagonals, many short), all faded to
// pure black well inside the square so that no edge ever shows.
static bool makeFlare()
{
    const int RAYS = 44;
    float rayAngle[RAYS], rayLength[RAYS], rayBrightness[RAYS];
    for (int i = 0; i < RAYS; ++i) {
        if (i < 8) {
            rayAngle[i] = float(i) * 6.2831853f / 8.0f;
            rayLength[i] = i % 2 == 0 ? 0.95f : 0.6f;
            rayBrightness[i] = i % 2 == 0 ? 1.0f : 0.7f;
        } else {
            rayAngle[i] = hash2(i, 1, 5) * 6.2831853f;
            rayLength[i] = 0.35f + 0.45f * hash2(i, 2, 5);
            rayBrightness[i] = 0.4f + 0.5f * hash2(i, 3, 5);
        }
    }
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            float dx = float(x) - 127.5f, dy = float(y) - 127.5f;
            float distance = std::sqrt(dx * dx + dy * dy);  // pixels
            float r = distance / 127.5f;                    // 1 at the middle of each edge
            float angle = std::atan2(dy, dx);
            float core = std::exp(-r * r / (0.045f * 0.045f));
            float halo = 0.55f * std::exp(-r / 0.07f) + 0.18f * std::exp(-r / 0.22f);
            float rays = 0.0f;
            for (int i = 0; i < RAYS; ++i) {
                float along = r / rayLength[i];
                if (along >= 1.0f)
                    continue;
                float off = std::remainder(angle - rayAngle[i], 6.2831853f);
                if (std::fabs(off) > 1.5f)
                    continue;
                float across = std::fabs(std::sin(off)) * distance;  // pixels from the ray's axis
                float width = 0.55f + 1.6f * (1.0f - along);
                float fall = (1.0f - along) * (1.0f - along);
                rays += rayBrightness[i] * fall * std::exp(-across * across / (width * width));
            }
            float v = core + halo + 0.85f * rays;
            v = 1.0f - std::exp(-1.6f * v);  // saturates the core to white, keeps the rays' tails
            v *= 1.0f - smoothstep(0.55f, 0.96f, r);
            canvas[y][x] = {v, v, v};
        }
    canvasToPixels(false);
    return savePicture("flare.png", {.idatChunks = 2,
                                     .fixedCodes = false,
                                     .fixedLaterHalf = false,
                                     .timeChunk = true,
                                     .physChunk = true,
                                     .gammaChunks = false});
}

// ---------------------------------------------------------------- logo

// The logo lies on the floor: the picture's top is its far edge. Big
// condensed lettering sits in the upper half, the part always in view,
// with a rule and a small strap line under it, all in a double black frame
// on the key-grey surround. Stored upside down so it reads upright.
static bool makeLogo()
{
    const float KEY = 231.0f / 255.0f;
    fillCanvas({KEY, KEY, KEY});
    const int LEFT = 6, RIGHT = 250, TOP = 8, BOTTOM = 232;  // outer edge of the frame, pixels
    const int FRAME = 9, GAP = 3, LINE = 2;                  // frame, white gap, inner line, pixels
    for (int y = TOP; y < BOTTOM; ++y)
        for (int x = LEFT; x < RIGHT; ++x) {
            int inset =
                std::min(std::min(x - LEFT, RIGHT - 1 - x), std::min(y - TOP, BOTTOM - 1 - y));
            bool black = inset < FRAME || (inset >= FRAME + GAP && inset < FRAME + GAP + LINE);
            float v = black ? 0.0f : 1.0f;
            canvas[y][x] = {v, v, v};
        }
    // Title: heavy shadow offset down and right, then the black letters.
    clearMask();
    drawTextCentred("WE RULE", 128.0f + 3.0f, 118.0f + 4.0f, 100, 0.42f, 1.0f, 2.0f);
    for (int y = TOP + FRAME + GAP + LINE; y < BOTTOM - FRAME - GAP - LINE; ++y)
        for (int x = LEFT + FRAME + GAP + LINE; x < RIGHT - FRAME - GAP - LINE; ++x) {
            float v = 1.0f - 0.55f * mask[y][x];
            canvas[y][x] = {v, v, v};
        }
    clearMask();
    drawTextCentred("WE RULE", 128.0f, 118.0f, 100, 0.42f, 1.0f, 2.0f);
    drawTextCentred("A REAL-TIME PRODUCTION", 128.0f, 163.0f, 17, 0.66f, 1.0f, 1.2f);
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            bool rule = y >= 134 && y < 139 && x >= 34 && x < 222;
            float ink = rule ? 1.0f : mask[y][x];
            float v = canvas[y][x].r * (1.0f - ink);
            canvas[y][x] = {v, v, v};
        }
    canvasToPixels(true);
    // Anti-aliased greys inside the frame may land on the key; nudge them.
    for (int i = 0; i < SIDE * SIDE; ++i) {
        int row = SIDE - 1 - i / SIDE, x = i % SIDE;
        bool inside = row >= TOP && row < BOTTOM && x >= LEFT && x < RIGHT;
        uint8_t* p = pixels + size_t(i) * 3;
        if (inside && p[0] == 231 && p[1] == 231 && p[2] == 231)
            p[0] = p[1] = p[2] = 232;
    }
    return savePicture("logo.png", {.idatChunks = 1,
                                    .fixedCodes = false,
                                    .fixedLaterHalf = false,
                                    .timeChunk = true,
                                    .physChunk = true,
                                    .gammaChunks = true});
}

// ---------------------------------------------------------------- backdrop

// Night clouds: domain-warped fractal noise in deep blue, lit brighter
// blue on the crests, a few faint stars showing through the thin parts.
static bool makeBackdrop()
{
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            float u = float(x) / SIDE, v = float(y) / SIDE;
            float warpU = fractalNoise(u, v, 3, 4, 101) - 0.5f;
            float warpV = fractalNoise(u, v, 3, 4, 202) - 0.5f;
            float n = fractalNoise(u + 0.35f * warpU, v + 0.35f * warpV, 4, 6, 11);
            float detail = fractalNoise(u, v, 16, 3, 303);
            float cloud = smoothstep(0.3f, 0.78f, n);
            float crest = smoothstep(0.55f, 0.85f, n + 0.15f * (detail - 0.5f));
            Colour deep = {0.01f, 0.015f, 0.07f};
            Colour body = {0.06f, 0.12f, 0.36f};
            Colour light = {0.32f, 0.48f, 0.92f};
            Colour c = mix(mix(deep, body, cloud), light, crest * 0.8f);
            float star = hash2(x, y, 404);
            if (star > 0.9975f) {
                float s = (star - 0.9975f) / 0.0025f * (1.0f - cloud);
                c = {c.r + 0.5f * s, c.g + 0.55f * s, c.b + 0.6f * s};
            }
            canvas[y][x] = c;
        }
    canvasToPixels(false);
    return savePicture("backdrop.png", {.idatChunks = 4,
                                        .fixedCodes = true,
                                        .fixedLaterHalf = false,
                                        .timeChunk = true,
                                        .physChunk = false,
                                        .gammaChunks = false});
}

// ---------------------------------------------------------------- panels

namespace {

// Text lines of a credit panel: a heading and the lines under it.
struct PanelLine {
    const char* text;
    int pixelHeight;   // pixels per em
    float brightness;  // 1 for white-hot text, less for dimmer, bluer lines
};

}  // namespace

// Glowing blue-white lines on pure black, centred, stored upside down: the
// letters are white with a blue tint, wrapped in a blue glow that ends in
// exact black. The glow is kept separate per line so lines never merge.
static bool makePanel(const char* name, const PanelLine* lines, int count, const float* baselines,
                      bool fixedCodes)
{
    clearMask();
    float brightness[SIDE];  // per row: the brightness of the line drawn there
    for (float& b : brightness)
        b = 0.0f;
    for (int i = 0; i < count; ++i) {
        drawTextCentred(lines[i].text, 128.0f, baselines[i], lines[i].pixelHeight, 1.0f, 1.0f,
                        lines[i].pixelHeight >= 24 ? 2.0f : 0.5f);
        int from = int(baselines[i]) - lines[i].pixelHeight,
            to = int(baselines[i]) + lines[i].pixelHeight / 3;
        for (int y = std::max(0, from); y < std::min(SIDE, to + 1); ++y)
            brightness[y] = lines[i].brightness;
    }
    // A thin rule under the heading, fading out towards its ends.
    float ruleY = baselines[0] + 8.0f;
    for (int x = 48; x < SIDE - 48; ++x) {
        float fade = 1.0f - std::fabs(float(x) - 127.5f) / 80.0f;
        mask[int(ruleY)][x] = clamp01(mask[int(ruleY)][x] + fade);
        mask[int(ruleY) + 1][x] = clamp01(mask[int(ruleY) + 1][x] + 0.6f * fade);
    }
    // Gaussian glow, separable, radius 6 pixels.
    float weights[13];
    for (int k = -6; k <= 6; ++k)
        weights[k + 6] = std::exp(-float(k * k) / 10.0f);
    static float across[SIDE][SIDE];
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            float s = 0.0f;
            for (int k = -6; k <= 6; ++k)
                if (x + k >= 0 && x + k < SIDE)
                    s += weights[k + 6] * mask[y][x + k];
            across[y][x] = s;
        }
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            float s = 0.0f;
            for (int k = -6; k <= 6; ++k)
                if (y + k >= 0 && y + k < SIDE)
                    s += weights[k + 6] * across[y + k][x];
            glow[y][x] = s / 31.4f;
        }
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            float b = brightness[y] > 0.0f ? brightness[y] : 1.0f;
            float g = std::max(0.0f, glow[y][x] - 0.012f) * 1.9f;
            float core = mask[y][x] * b;
            float red = core * 0.86f + g * 0.10f;
            float green = core * 0.93f + g * 0.38f;
            float blue = core * 1.0f + g * 1.0f;
            // Always blue-white: blue at least green, green at least red.
            green = std::min(green, blue);
            red = std::min(red, green);
            canvas[y][x] = {red, green, blue};
        }
    canvasToPixels(true);
    return savePicture(name, {.idatChunks = 1,
                              .fixedCodes = fixedCodes,
                              .fixedLaterHalf = false,
                              .timeChunk = true,
                              .physChunk = false,
                              .gammaChunks = false});
}

// ---------------------------------------------------------------- photo

static bool makePhoto()
{
    drawPortrait();
    canvasToPixels(true);
    return savePicture("photo.png", {.idatChunks = 7,
                                     .fixedCodes = false,
                                     .fixedLaterHalf = true,
                                     .timeChunk = true,
                                     .physChunk = true,
                                     .gammaChunks = true});
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: gen-pictures FONT.ttf OUTDIR\n");
        return 2;
    }
    outputFolder = argv[2];
    if (FT_Init_FreeType(&fontLibrary) != 0 ||
        FT_New_Face(fontLibrary, argv[1], 0, &fontFace) != 0) {
        std::fprintf(stderr, "gen-pictures: cannot load font %s\n", argv[1]);
        return 1;
    }
    // Greetings to groups of our own invention, and the credits.
    // The panels stand above the floor: in the show everything below about
    // row 150 lies over the bright checkerboard, so the lines stay above it.
    static const PanelLine GREETINGS[] = {
        {"GREETINGS", 27, 1.0f},       {"Nebula Kitchen", 16, 0.95f}, {"Quartz Owls", 16, 0.95f},
        {"Polygon Bakery", 16, 0.95f}, {"Static Lagoon", 16, 0.95f},  {"Velvet Vector", 16, 0.95f},
        {"Copper Lantern", 16, 0.95f},
    };
    static const float GREETINGS_BASELINES[] = {34, 64, 82, 100, 118, 136, 154};
    static const PanelLine CREDITS[] = {
        {"CREDITS", 27, 1.0f},   {"CODE", 12, 0.6f},     {"Ostrakon", 19, 1.0f},
        {"MUSIC", 12, 0.6f},     {"Halfnote", 19, 1.0f}, {"GRAPHICS", 12, 0.6f},
        {"Pixelwren", 19, 1.0f},
    };
    static const float CREDITS_BASELINES[] = {34, 61, 79, 99, 117, 137, 155};
    bool ok = makeChecker() && makeFlare() && makeLogo() && makeBackdrop() &&
              makePanel("greetings.png", GREETINGS, 7, GREETINGS_BASELINES, false) &&
              makePanel("credits.png", CREDITS, 7, CREDITS_BASELINES, true) && makePhoto();
    FT_Done_Face(fontFace);
    FT_Done_FreeType(fontLibrary);
    return ok ? 0 : 1;
}
