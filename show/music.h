// Playback of the embedded module through the platform's sound calls.
#pragma once

void startMusicOutput();  // opens the device, loads the module, starts output
void playMusic();         // plays the module from order 0, row 0
