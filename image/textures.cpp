#include "image/textures.h"

void buildTextureSet() {}
