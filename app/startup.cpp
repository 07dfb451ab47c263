#include "app/startup.h"

#include <cstdlib>
#include <ctime>

#include "app/extensions.h"
#include "app/window.h"
#include "image/textures.h"
#include "scene/frame.h"
#include "scene/mesh.h"
#include "scene/stars.h"
#include "scene/text.h"
#include "show/cues.h"
#include "show/music.h"
#include "show/state.h"

void resetShow()
{
    resetShowState();
    resetWindowState();
    resetExtensionTable();
    resetFrameState();
    resetMeshState();
    resetTextState();
}

void prepareShow(unsigned seed)
{
    createOutlineFont();
    srand(seed);
    buildTextureSet();
    setupSphereMap();
    scatterStars();
    initMesh();
    computeVertexNormals(0);
}

void startShow()
{
    prepareShow(static_cast<unsigned>(time(nullptr)));
    startMusicOutput();
    startCueTimer();
    playMusic();
}
