#include "tests/scene/frame_probe.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "image/png.h"
#include "image/textures.h"

Pixel projectPoint(double x, double y, double z, double aspect)
{
    const double focal = 1 / std::tan(30.0 * M_PI / 180.0);
    const double ndcX = focal / aspect * x / -z;
    const double ndcY = focal * y / -z;
    Pixel pixel;
    pixel.column = (ndcX + 1) / 2 * PROBE_WIDTH;
    pixel.row = PROBE_BAND_BOTTOM - (ndcY + 1) / 2 * (PROBE_BAND_BOTTOM - PROBE_BAND_TOP);
    return pixel;
}

const uint8_t* Picture::texel(double s, double t) const
{
    int column = static_cast<int>(s * width);
    int row = static_cast<int>(t * height);
    column = column < 0 ? 0 : (column >= width ? width - 1 : column);
    row = row < 0 ? 0 : (row >= height ? height - 1 : row);
    return &rgba[(static_cast<size_t>(row) * width + column) * 4];
}

bool Picture::uniformAround(double s, double t, int radius) const
{
    const uint8_t* centre = texel(s, t);
    const int column = static_cast<int>(s * width);
    const int row = static_cast<int>(t * height);
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const int c = column + dx, r = row + dy;
            if (c < 0 || r < 0 || c >= width || r >= height) {
                return false;
            }
            if (memcmp(&rgba[(static_cast<size_t>(r) * width + c) * 4], centre, 4) != 0) {
                return false;
            }
        }
    }
    return true;
}

void Picture::minAround(double s, double t, int radius, int* rgb) const
{
    rgb[0] = rgb[1] = rgb[2] = 255;
    const int column = static_cast<int>(s * width);
    const int row = static_cast<int>(t * height);
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const int c = column + dx, r = row + dy;
            const uint8_t* texel =
                &rgba[(static_cast<size_t>(r < 0 ? 0 : (r >= height ? height - 1 : r)) * width +
                       (c < 0 ? 0 : (c >= width ? width - 1 : c))) *
                      4];
            for (int i = 0; i < 3; ++i) {
                rgb[i] = texel[i] < rgb[i] ? texel[i] : rgb[i];
            }
        }
    }
}

Picture loadPicture(const unsigned char* png, uint32_t size, int key)
{
    Picture picture;
    Image* image = decodePng(png, static_cast<int32_t>(size));
    if (image == nullptr) {
        return picture;
    }
    picture.width = image->width;
    picture.height = image->height;
    const uint8_t* pixels = imagePixels(image);
    picture.rgba.assign(pixels, pixels + static_cast<size_t>(image->width) * image->height * 4);
    if (key >= 0 && image->width == 256 && image->height == 256) {
        applyColourKey(picture.rgba.data(), picture.rgba.data(), key, key, key);
    }
    free(image);
    return picture;
}
