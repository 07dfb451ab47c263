#include "scene/stars.h"

Star stars[STAR_COUNT];

void scatterStars() {}
void moveStars() {}
void drawStars() {}
