#include "show/music.h"

void startMusicOutput() {}
void playMusic() {}
