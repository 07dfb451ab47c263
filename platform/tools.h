// What the tools and the tests call on the platform layer beside the
// intro's own list (platform/platform.h), whose conventions hold here too.
// The intro itself calls none of these. Most exist in one backend only, as
// marked: the tools and most tests are Linux programs (sdl/), and the
// Windows tests probe the waveOut layer (win32/).
#pragma once

#include "platform/platform.h"

// ------------------------------------------------------------------ sound
// sound.cpp, every backend. Time from a render to its first frame being
// heard, as platMusicPosition allows for it, in microseconds; -1 when no
// device is open.
int platSoundLatencyUs();
// win32/ only. True once output runs on a real device; false before and
// while the silent clock stands in for one. Any thread.
bool platSoundHasDevice();
// win32/ only. How many frames the device had played, at the last
// platMusicPosition, of the latest sub-block it had begun: 0 up to its
// length (the length when the device has played all that was rendered); -1
// before any. Any thread.
int platSoundLastTrailFrames();

// --------------------------------------------------------- offline render
// sdl/ only, soundscan.cpp. Renders the module offline (no device, looping,
// from order 0, row 0) at frequency Hz and stores the position heard
// stepMs, 2 stepMs, ... count stepMs after the start in
// positions[0 .. count-1]; false when the module does not load. Any thread,
// one scan at a time.
bool platMusicScanPositions(const void* data, size_t length, int frequency, int stepMs,
                            uint32_t* positions, int count);
// The same offline playback heard, without dither: frames firstFrame ..
// firstFrame+count-1 (counted from the start) as count interleaved 16-bit
// stereo pairs in samples; false when the module does not load. Rendered in
// blocks of PLAT_RENDER_BLOCK_FRAMES from the start, so any span is the same
// stretch of a render of the whole. Any thread.
enum { PLAT_RENDER_BLOCK_FRAMES = 1024 };
bool platMusicRenderStereo(const void* data, size_t length, int frequency, int64_t firstFrame,
                           int64_t count, int16_t* samples);

// ------------------------------------------------------------ glyph checks
// sdl/ only, font.cpp. The triangles of one character code as the font
// build makes them: up to maxTriangles triangles as (x, y) corner pairs in
// em units into corners, and the glyph's metrics. Returns the number
// written, or -1 when the font cannot be read. Needs no GL context.
int platGlyphTriangles(const unsigned char* fontData, size_t fontSize, int code, float* corners,
                       int maxTriangles, PlatGlyphMetrics* metrics);

// -------------------------------------------------------------- offscreen
// sdl/ only, offscreen.cpp. A GL context with a width by height drawable
// and no window on any screen (SDL's offscreen driver over EGL).
bool platOpenOffscreen(int width, int height);
void platCloseOffscreen();
