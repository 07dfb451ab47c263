// The WebGL end of the GL translation, faked for tests: draws are recorded
// (vertices and their draw state), everything else is accepted.
#include "tests/web/recording_webgl.h"

std::vector<RecordedDraw> recordedDraws;

void webGlDraw(const WebGlVertex* vertices, int count, unsigned texture, bool blend, unsigned,
               unsigned, bool depthTest, unsigned, bool)
{
    recordedDraws.push_back(RecordedDraw{std::vector<WebGlVertex>(vertices, vertices + count),
                                         texture, blend, depthTest});
}

void webGlClear(const float*, float, bool, bool)
{}
void webGlViewport(int, int, int, int)
{}
void webGlTexture(unsigned, int, int, const unsigned char*, bool)
{}
