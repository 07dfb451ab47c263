// The seven textures of the show under fixed names 1 to 7.
#pragma once

enum {
    TEX_CHECKER = 1,
    TEX_FLARE = 2,
    TEX_LOGO = 3,
    TEX_BACKDROP = 4,
    TEX_GREETINGS = 5,
    TEX_CREDITS = 6,
    TEX_PHOTO = 7,
};

void buildTextureSet();   // main thread, start-up, GL context current
