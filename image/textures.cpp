#include "image/textures.h"

#include <GL/gl.h>

#include <cstdlib>

#include "assets/assets.h"
#include "image/png.h"

// ------------------------------------------------------------------ state
// No state of its own: the textures live in the GL context under their fixed
// names until the context is released.

// The pictures are 256 by 256; uploads use these sizes whatever the Image holds.
static const int32_t TEXTURE_SIZE = 256;  // pixels
static const int KEY_PIXELS = 256 * 256;  // pixels keyed per picture

// One row of the set, in build order.
struct TextureSource {
    const unsigned char* png;
    const uint32_t* pngSize;  // bytes
    unsigned name;
    bool keyed;
    int key;  // grey level of the key colour (R = G = B)
    GLint internalFormat;
};

static const TextureSource TEXTURE_SOURCES[] = {
    {assetCheckerPng, &assetCheckerPngSize, TEX_CHECKER, false, 0, GL_RGB},
    {assetFlarePng, &assetFlarePngSize, TEX_FLARE, false, 0, GL_RGB},
    {assetLogoPng, &assetLogoPngSize, TEX_LOGO, true, 231, GL_RGBA},
    {assetBackdropPng, &assetBackdropPngSize, TEX_BACKDROP, false, 0, GL_RGB},
    {assetGreetingsPng, &assetGreetingsPngSize, TEX_GREETINGS, true, 0, GL_RGBA},
    {assetCreditsPng, &assetCreditsPngSize, TEX_CREDITS, true, 0, GL_RGBA},
    {assetPhotoPng, &assetPhotoPngSize, TEX_PHOTO, false, 0, GL_RGB},
};

// Main thread, GL context current.
void uploadTexture(const uint8_t* pixels, int32_t width, int32_t height, unsigned name,
                   int internalFormat)
{
    glBindTexture(GL_TEXTURE_2D, name);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_MODULATE));
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels);
}

// Any thread.
void applyColourKey(const uint8_t* source, uint8_t* destination, int keyR, int keyG, int keyB)
{
    for (int i = 0; i < KEY_PIXELS; ++i) {
        const uint8_t* from = source + 4 * i;
        uint8_t* to = destination + 4 * i;
        const bool isKey = from[0] == keyR && from[1] == keyG && from[2] == keyB;
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
        to[3] = isKey ? 0 : 255;
    }
}

// Main thread, start-up, GL context current.
void buildTextureSet()
{
    for (const TextureSource& source : TEXTURE_SOURCES) {
        Image* image = decodePng(source.png, static_cast<int32_t>(*source.pngSize));
        if (image == nullptr) {
            continue;  // the name stays without an image; the show goes on
        }
        // A picture smaller than the set's size cannot feed a 256 by 256 upload.
        if (image->width < TEXTURE_SIZE || image->height < TEXTURE_SIZE) {
            free(image);
            continue;
        }
        uint8_t* pixels = imagePixels(image);
        if (source.keyed) {
            applyColourKey(pixels, pixels, source.key, source.key, source.key);
        }
        uploadTexture(pixels, TEXTURE_SIZE, TEXTURE_SIZE, source.name, source.internalFormat);
        free(image);
    }
}
