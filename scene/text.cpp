#include "scene/text.h"

void createOutlineFont() {}
