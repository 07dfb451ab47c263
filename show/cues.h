// The 20 ms cue timer: advances the show clock, moves the stars, raises and
// decays the flash from the music position and asks for the end of the show.
#pragma once

void startCueTimer();   // main thread, once, at the end of start-up
void cueTimerTick();    // timer thread, every 20 ms
