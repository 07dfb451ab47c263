// A GL context with no window on any screen: SDL's offscreen video driver,
// which renders through EGL into a pbuffer and needs no display server.
#include <SDL.h>

#include "platform/tools.h"

// ------------------------------------------------------------------ state
// Main thread only. Both null while closed.
static SDL_Window* offscreenWindow = nullptr;
static SDL_GLContext offscreenContext = nullptr;

// Main thread.
bool platOpenOffscreen(int width, int height)
{
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return false;
    }
    // A compatibility context of the fixed-function pipeline, as the show's.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, 0);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    offscreenWindow = SDL_CreateWindow("werule offscreen", 0, 0, width, height,
                                       SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (offscreenWindow == nullptr) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    offscreenContext = SDL_GL_CreateContext(offscreenWindow);
    if (offscreenContext == nullptr || SDL_GL_MakeCurrent(offscreenWindow, offscreenContext) != 0) {
        platCloseOffscreen();
        return false;
    }
    return true;
}

// Main thread.
void platCloseOffscreen()
{
    if (offscreenContext != nullptr) {
        SDL_GL_MakeCurrent(offscreenWindow, nullptr);
        SDL_GL_DeleteContext(offscreenContext);
        offscreenContext = nullptr;
    }
    if (offscreenWindow != nullptr) {
        SDL_DestroyWindow(offscreenWindow);
        offscreenWindow = nullptr;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
