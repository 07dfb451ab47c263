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
#include "tools/pngwriter/pngwriter.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------- state
namespace {

const int SIDE = 256;   // every picture is SIDE by SIDE pixels

struct Colour {
    float r, g, b;   // linear-ish display values, 0 to 1 (clamped when stored)
};

Colour canvas[SIDE][SIDE];    // the picture being drawn, [row][column], row 0 at the top
float mask[SIDE][SIDE];       // text coverage, 0 to 1, same layout
uint8_t pixels[SIDE * SIDE * 3];   // bytes handed to the PNG writer, top row first

FT_Library fontLibrary = nullptr;   // FreeType instance, lives for the run
FT_Face fontFace = nullptr;         // Liberation Sans Bold
const char* outputFolder = nullptr; // where the PNG files go

// ---------------------------------------------------------------- helpers

float clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }
float mix(float a, float b, float t) { return a + (b - a) * t; }
Colour mix(Colour a, Colour b, float t) { return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t)}; }
float smoothstep(float edge0, float edge1, float x) {
    float t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0f - 2.0f * t);
}

// A fixed integer hash (no library random generator, whose sequence may
// differ between systems): 0 to 1.
float hash2(int x, int y, int seed) {
    uint32_t h = uint32_t(x) * 0x8da6b343u ^ uint32_t(y) * 0xd8163841u ^ uint32_t(seed) * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return float(h & 0xffffffu) / float(0xffffff);
}

// Smooth value noise, 0 to 1, repeating every period cells.
float valueNoise(float x, float y, int period, int seed) {
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

// Fractal sum of octaves of value noise, 0 to about 1.
float fractalNoise(float x, float y, int basePeriod, int octaves, int seed) {
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

void fillCanvas(Colour c) {
    for (auto& row : canvas)
        for (auto& p : row) p = c;
}

void clearMask() { std::memset(mask, 0, sizeof mask); }

// ---------------------------------------------------------------- text

// Width in pixels of text set at pixelHeight with horizontal scale xScale.
float textWidth(const char* text, int pixelHeight, float xScale) {
    FT_Set_Pixel_Sizes(fontFace, 0, FT_UInt(pixelHeight));
    float width = 0.0f;
    for (const char* c = text; *c; ++c) {
        if (FT_Load_Char(fontFace, FT_ULong(uint8_t(*c)), FT_LOAD_DEFAULT | FT_LOAD_NO_HINTING) != 0) continue;
        width += float(fontFace->glyph->advance.x) / 64.0f * xScale;
    }
    return width;
}

// Adds the coverage of text to mask, pen starting at (x, baseline), glyphs
// pixelHeight pixels per em, stretched by xScale across and yScale up.
void drawText(const char* text, float x, float baseline, int pixelHeight, float xScale, float yScale) {
    FT_Set_Pixel_Sizes(fontFace, 0, FT_UInt(pixelHeight));
    float pen = x;
    for (const char* c = text; *c; ++c) {
        FT_Matrix matrix = {FT_Fixed(xScale * 65536.0f), 0, 0, FT_Fixed(yScale * 65536.0f)};
        float whole = std::floor(pen);
        FT_Vector delta = {FT_Pos((pen - whole) * 64.0f), 0};
        FT_Set_Transform(fontFace, &matrix, &delta);
        if (FT_Load_Char(fontFace, FT_ULong(uint8_t(*c)), FT_LOAD_RENDER | FT_LOAD_NO_HINTING) == 0) {
            FT_GlyphSlot glyph = fontFace->glyph;
            const FT_Bitmap& bitmap = glyph->bitmap;
            int left = int(whole) + glyph->bitmap_left;
            int top = int(std::floor(baseline)) - glyph->bitmap_top;
            for (unsigned row = 0; row < bitmap.rows; ++row) {
                for (unsigned column = 0; column < bitmap.width; ++column) {
                    int px = left + int(column), py = top + int(row);
                    if (px < 0 || py < 0 || px >= SIDE || py >= SIDE) continue;
                    float value = float(bitmap.buffer[row * unsigned(bitmap.pitch) + column]) / 255.0f;
                    mask[py][px] = clamp01(mask[py][px] + value);
                }
            }
            pen += float(glyph->advance.x) / 64.0f;
        }
    }
    FT_Set_Transform(fontFace, nullptr, nullptr);
}

void drawTextCentred(const char* text, float centreX, float baseline, int pixelHeight, float xScale, float yScale) {
    drawText(text, centreX - textWidth(text, pixelHeight, xScale) / 2.0f, baseline, pixelHeight, xScale, yScale);
}

// ---------------------------------------------------------------- output

uint8_t toByte(float v) { return uint8_t(std::lround(clamp01(v) * 255.0f)); }

// Converts the canvas to bytes, upside down when flip is set (the picture's
// top row becomes the file's last row).
void canvasToPixels(bool flip) {
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

bool savePicture(const char* name, const PngSettings& settings) {
    char path[4096];
    std::snprintf(path, sizeof path, "%s/%s", outputFolder, name);
    if (!pngWrite(path, pixels, SIDE, SIDE, settings)) {
        std::fprintf(stderr, "gen-pictures: cannot write %s\n", path);
        return false;
    }
    std::printf("%s: filters none %d sub %d up %d average %d paeth %d\n", name, pngFilterCounts[0],
                pngFilterCounts[1], pngFilterCounts[2], pngFilterCounts[3], pngFilterCounts[4]);
    return true;
}

// ---------------------------------------------------------------- checker

// 8 by 8 squares of 32 pixels, pure black and white, the top-left one white.
bool makeChecker() {
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            float v = ((x / 32 + y / 32) % 2 == 0) ? 1.0f : 0.0f;
            canvas[y][x] = {v, v, v};
        }
    canvasToPixels(false);
    return savePicture("checker.png", {1, true, false, false, false});
}

// ---------------------------------------------------------------- flare

// A white star: a soft core, a halo and many thin rays of varied length,
// all faded to pure black before the inscribed circle's edge.
bool makeFlare() {
    const int RAYS = 24;
    float rayLength[RAYS], rayAngle[RAYS];
    for (int i = 0; i < RAYS; ++i) {
        rayAngle[i] = (float(i) + (hash2(i, 1, 5) - 0.5f) * 0.35f) * 6.2831853f / float(RAYS);
        rayLength[i] = (i % 4 == 0) ? 1.0f : 0.45f + 0.4f * hash2(i, 2, 5);
    }
    const float C = 127.5f;
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            float dx = float(x) - C + 0.5f, dy = float(y) - C + 0.5f;
            float r = std::sqrt(dx * dx + dy * dy) / 127.0f;   // 1 at the edge's middle
            float angle = std::atan2(dy, dx);
            float core = std::exp(-r * r * 180.0f);
            float halo = 0.35f * std::exp(-r * 9.0f);
            float rays = 0.0f;
            for (int i = 0; i < RAYS; ++i) {
                float d = std::remainder(angle - rayAngle[i], 6.2831853f);
                float across = std::fabs(d) * r * 127.0f;   // pixels from the ray's axis
                float width = 0.6f + 1.2f * (1.0f - r);
                float along = std::exp(-r / (0.28f * rayLength[i]));
                rays += along * std::exp(-across * across / (width * width));
            }
            float v = core + halo + 0.7f * rays;
            float fade = 1.0f - smoothstep(0.55f, 0.97f, r);
            v *= fade;
            canvas[y][x] = {v, v, v * 0.98f + 0.02f * std::min(v, 1.0f) * 0.0f};
        }
    canvasToPixels(false);
    return savePicture("flare.png", {2, false, true, true, false});
}

// ---------------------------------------------------------------- logo

bool makeLogo() {
    const Colour SURROUND = {231.0f / 255.0f, 231.0f / 255.0f, 231.0f / 255.0f};
    fillCanvas(SURROUND);
    const int FRAME_LEFT = 8, FRAME_TOP = 40, FRAME_RIGHT = 248, FRAME_BOTTOM = 216, FRAME = 10;
    for (int y = FRAME_TOP; y < FRAME_BOTTOM; ++y)
        for (int x = FRAME_LEFT; x < FRAME_RIGHT; ++x) {
            bool border = x < FRAME_LEFT + FRAME || x >= FRAME_RIGHT - FRAME || y < FRAME_TOP + FRAME ||
                          y >= FRAME_BOTTOM - FRAME;
            canvas[y][x] = border ? Colour{0, 0, 0} : Colour{1, 1, 1};
        }
    clearMask();
    drawTextCentred("WE RULE", 128.0f, 160.0f, 64, 0.72f, 1.6f);
    for (int y = FRAME_TOP + FRAME; y < FRAME_BOTTOM - FRAME; ++y)
        for (int x = FRAME_LEFT + FRAME; x < FRAME_RIGHT - FRAME; ++x) {
            float v = 1.0f - mask[y][x];
            canvas[y][x] = {v, v, v};
        }
    canvasToPixels(true);
    // Nothing inside the frame may match the key colour exactly.
    for (int i = 0; i < SIDE * SIDE; ++i) {
        int y = i / SIDE, x = i % SIDE;
        bool inside = (SIDE - 1 - y) >= FRAME_TOP && (SIDE - 1 - y) < FRAME_BOTTOM && x >= FRAME_LEFT && x < FRAME_RIGHT;
        uint8_t* p = pixels + size_t(i) * 3;
        if (inside && p[0] == 231 && p[1] == 231 && p[2] == 231) p[0] = p[1] = p[2] = 232;
    }
    return savePicture("logo.png", {1, false, true, true, true});
}

// ---------------------------------------------------------------- backdrop

bool makeBackdrop() {
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            float u = float(x) / SIDE, v = float(y) / SIDE;
            float n = fractalNoise(u, v, 4, 6, 11);
            float cloud = smoothstep(0.35f, 0.8f, n);
            canvas[y][x] = mix(Colour{0.02f, 0.03f, 0.12f}, Colour{0.25f, 0.4f, 0.85f}, cloud);
        }
    canvasToPixels(false);
    return savePicture("backdrop.png", {4, true, true, false, false});
}

// ---------------------------------------------------------------- panels

bool makePanel(const char* name, const char* const* lines, int lineCount, bool fixedCodes) {
    clearMask();
    float spacing = 236.0f / float(lineCount);
    for (int i = 0; i < lineCount; ++i)
        drawTextCentred(lines[i], 128.0f, 14.0f + spacing * (float(i) + 0.75f), i == 0 ? 24 : 20, 1.0f, 1.0f);
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            float glow = 0.0f;
            for (int dy = -4; dy <= 4; ++dy)
                for (int dx = -4; dx <= 4; ++dx) {
                    int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= SIDE || sy >= SIDE) continue;
                    glow += mask[sy][sx] * std::exp(-float(dx * dx + dy * dy) / 8.0f);
                }
            glow /= 25.0f;
            float core = mask[y][x];
            canvas[y][x] = {clamp01(core * 0.85f + glow * 0.2f), clamp01(core * 0.9f + glow * 0.45f),
                            clamp01(core + glow * 0.9f)};
        }
    canvasToPixels(true);
    return savePicture(name, {1, fixedCodes, true, false, false});
}

// ---------------------------------------------------------------- photo

bool makePhoto() {
    fillCanvas({1, 1, 1});
    for (int y = 0; y < SIDE; ++y)
        for (int x = 0; x < SIDE; ++x) {
            float fx = (float(x) - 128.0f) / 128.0f, fy = (float(y) - 128.0f) / 128.0f;
            float head = (fx * fx) / 0.12f + ((fy + 0.2f) * (fy + 0.2f)) / 0.2f;
            float shoulders = fy > 0.45f ? (fx * fx) / 0.6f - (fy - 0.45f) * 2.0f : 2.0f;
            if (head < 1.0f) canvas[y][x] = {0.85f - 0.2f * head, 0.65f - 0.2f * head, 0.5f - 0.15f * head};
            else if (shoulders < 1.0f) canvas[y][x] = {0.15f, 0.18f, 0.3f};
        }
    canvasToPixels(true);
    return savePicture("photo.png", {7, false, true, true, true});
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: gen-pictures FONT.ttf OUTDIR\n");
        return 2;
    }
    outputFolder = argv[2];
    if (FT_Init_FreeType(&fontLibrary) != 0 || FT_New_Face(fontLibrary, argv[1], 0, &fontFace) != 0) {
        std::fprintf(stderr, "gen-pictures: cannot load font %s\n", argv[1]);
        return 1;
    }
    static const char* const GREETINGS[] = {"GREETINGS TO", "Nebula Kitchen", "Quartz Owls", "Polygon Bakery",
                                            "Static Lagoon", "Velvet Vector", "Copper Lantern", "Byte Orchard"};
    static const char* const CREDITS[] = {"CREDITS", "code", "Ostrakon", "music", "Halfnote", "graphics", "Pixelwren"};
    bool ok = makeChecker() && makeFlare() && makeLogo() && makeBackdrop() &&
              makePanel("greetings.png", GREETINGS, 8, false) && makePanel("credits.png", CREDITS, 7, true) &&
              makePhoto();
    FT_Done_Face(fontFace);
    FT_Done_FreeType(fontLibrary);
    return ok ? 0 : 1;
}
