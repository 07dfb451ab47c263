// The PNG reader: decodes a PNG held in memory into an Image.
#pragma once

#include <cstdint>

// A decoded picture in one heap block: width, height, then width * height
// pixels of the bytes R, G, B, A, bottom row first. Created by decodePng,
// released by its receiver with free().
struct Image {
    int32_t width;
    int32_t height;
};
inline uint8_t* imagePixels(Image* image) { return reinterpret_cast<uint8_t*>(image + 1); }
inline const uint8_t* imagePixels(const Image* image) { return reinterpret_cast<const uint8_t*>(image + 1); }

// Returns a new Image, or null when the decode failed (the reasons are in
// the error list below). Main thread; not re-entrant.
Image* decodePng(const uint8_t* data, int32_t length);
