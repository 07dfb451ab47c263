// Playback of the embedded module through the platform's sound calls.
#pragma once

enum { MUSIC_FREQUENCY = 44100 };  // Hz, output and offline replay alike

void startMusicOutput();  // main thread: opens the device, loads the module, starts output
void playMusic();         // main thread: plays the module from order 0, row 0
