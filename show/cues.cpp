#include "show/cues.h"

void startCueTimer() {}
void cueTimerTick() {}
