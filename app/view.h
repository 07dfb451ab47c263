// The letterboxed viewport and the base render state every frame starts from.
#pragma once

// Fits a band two thirds of the client height, centred, and sets the
// projection and the lasting render states. Main thread; without a current
// GL context it has no effect.
void resizeView(int width, int height);
// Completes the base state once, after the first resizeView. Always true.
bool setBaseState();

// The band for a client height: offset from the bottom and height, in pixels.
struct ViewBand {
    int y;
    int height;
    double exactHeight;  // untruncated band height
};
ViewBand viewBandFor(int height);
