// The intro's entry point: open the window, prepare the show, run the loop,
// close the window. Takes no arguments and reads no file or environment.

#include <cstdlib>
#include <ctime>

#include "app/loop.h"
#include "app/shared.h"
#include "app/window.h"
#include "image/textures.h"
#include "scene/mesh.h"
#include "scene/stars.h"
#include "scene/text.h"
#include "show/cues.h"
#include "show/music.h"

// Prepares every asset and starts the music and the cue timer, in this
// order; tests the result of none of its steps. Main thread, GL current.
static void startShow()
{
    createOutlineFont();
    srand(static_cast<unsigned>(time(nullptr)));
    buildTextureSet();
    setupSphereMap();
    scatterStars();
    initMesh();
    computeVertexNormals(0);
    startMusicOutput();
    startCueTimer();
    playMusic();
}

int main()
{
    if (!openWindow(":: We rule ::", 800, 600, 32, fullscreen)) {
        return 1;
    }
    startShow();
    int exitCode = runMainLoop();
    closeWindow();
    return exitCode;
}
