// png2pam FILE: decodes FILE with the show's PNG reader and writes the
// picture to standard output as a PAM (RGB_ALPHA, top row first), pixels
// exactly as the reader gives them (grey and RGB pictures have alpha 0).
// On a failed decode: nothing on standard output, the error codes on
// standard error, exit status 1.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "image/png.h"

// The largest file read, bytes: decodePng takes a signed 32-bit length.
constexpr long MAX_FILE_BYTES = INT32_MAX;

// Reads the whole file into a new heap block; null on failure.
static uint8_t* readFile(const char* path, int32_t* length)
{
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    uint8_t* data = nullptr;
    size_t size = 0;
    size_t capacity = 0;
    for (;;) {
        if (size == capacity) {
            capacity = capacity == 0 ? 65536 : capacity * 2;
            if (capacity > static_cast<size_t>(MAX_FILE_BYTES)) {
                capacity = static_cast<size_t>(MAX_FILE_BYTES);
            }
            if (size == capacity) {  // too large
                free(data);
                fclose(file);
                return nullptr;
            }
            uint8_t* grown = static_cast<uint8_t*>(realloc(data, capacity));
            if (grown == nullptr) {
                free(data);
                fclose(file);
                return nullptr;
            }
            data = grown;
        }
        const size_t got = fread(data + size, 1, capacity - size, file);
        size += got;
        if (got == 0) {
            break;
        }
    }
    const bool readError = ferror(file) != 0;
    fclose(file);
    if (readError) {
        free(data);
        return nullptr;
    }
    *length = static_cast<int32_t>(size);
    return data;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: png2pam FILE.png > FILE.pam\n");
        return 2;
    }
    int32_t length = 0;
    uint8_t* data = readFile(argv[1], &length);
    if (data == nullptr) {
        fprintf(stderr, "png2pam: cannot read %s\n", argv[1]);
        return 1;
    }
    Image* image = decodePng(data, length);
    free(data);
    if (image == nullptr) {
        fprintf(stderr, "png2pam: %s: decode failed, error codes:", argv[1]);
        for (int32_t i = 0; i < pngErrorCount; ++i) {
            fprintf(stderr, " %d", pngErrors[i]);
        }
        fprintf(stderr, "\n");
        return 1;
    }
    printf("P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
           image->width, image->height);
    const size_t rowBytes = 4 * static_cast<size_t>(image->width);
    const uint8_t* pixels = imagePixels(image);
    bool ok = true;
    for (int32_t row = image->height - 1; row >= 0 && ok; --row) {  // the Image is bottom row first
        ok = fwrite(pixels + static_cast<size_t>(row) * rowBytes, 1, rowBytes, stdout) == rowBytes;
    }
    free(image);
    if (fflush(stdout) != 0 || !ok) {
        fprintf(stderr, "png2pam: write failed\n");
        return 1;
    }
    return 0;
}
