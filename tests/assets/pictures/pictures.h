// The seven committed pictures, examined once per test run.
#pragma once

#include "png_facts.h"

#include <string>

struct PictureEntry {
    const char* file;  // name under assets/
    int idatChunks;    // IDAT chunks the file must have
    bool upsideDown;   // stored with the picture's top in the last row
};

extern const PictureEntry PICTURES[7];

// The facts of assets/<file>, read on first use and kept.
const PngFacts& pictureFacts(const std::string& file);

// The pixel at column x, file row y (row 0 is the file's first row).
struct Rgb {
    int r, g, b;
};
Rgb pixelAt(const PngFacts& facts, int x, int y);
