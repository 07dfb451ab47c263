// Scanline filter reconstruction: undoes PNG filter method 0 (None, Sub, Up,
// Average, Paeth) in place in scanlineBuffer (image/png_state.h), over pngHeight
// rows of pngBytesPerPixel * pngWidth + 1 bytes. Main thread.
#pragma once

#include <cstdint>

// Rewrites every row of scanlineBuffer from the top; filter bytes 5 to 255
// leave their row as stored.
void reconstructScanlines();
// The predictor of the PNG standard: a on ties with b or c, b on ties with c.
int32_t paethPredictor(int32_t a, int32_t b, int32_t c);
