// A recording fake of the WebGL calls the GL translation makes
// (platform/web/webgl.h), so the translation runs natively in a test.
#pragma once

#include <vector>

#include "platform/web/webgl.h"

struct RecordedDraw {
    std::vector<WebGlVertex> vertices;
    unsigned texture;
    bool blend;
    bool depthTest;
};

// Every draw call since the test last cleared it, in order.
extern std::vector<RecordedDraw> recordedDraws;
