// The seven textures of the show under fixed names 1 to 7.
#pragma once

#include <cstdint>

enum {
    TEX_CHECKER = 1,
    TEX_FLARE = 2,
    TEX_LOGO = 3,
    TEX_BACKDROP = 4,
    TEX_GREETINGS = 5,
    TEX_CREDITS = 6,
    TEX_PHOTO = 7,
};

// Decodes the seven embedded pictures and uploads them under TEX_CHECKER to
// TEX_PHOTO, keying the logo and the two panels. A picture that fails to
// decode leaves its name without an image. Main thread, start-up, GL context
// current.
void buildTextureSet();

// Creates or replaces texture `name` from width by height RGBA bytes:
// linear filters, no mipmaps, modulate environment. internalFormat is GL_RGB
// or GL_RGBA. Main thread, GL context current.
void uploadTexture(const uint8_t* pixels, int32_t width, int32_t height, unsigned name,
                   int internalFormat);

// Over exactly 256 by 256 RGBA pixels: copies R, G, B from source to
// destination and sets A to 0 where the source is exactly the key colour,
// 255 elsewhere. Source and destination may be the same block. Any thread.
void applyColourKey(const uint8_t* source, uint8_t* destination, int keyR, int keyG, int keyB);
