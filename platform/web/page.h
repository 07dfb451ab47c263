// The browser page's side of the web layer: how the page starts a show and
// runs it a frame at a time, and what the rest of the layer tells it.
// Main thread only (the page's).
#pragma once

#include <cstdint>

// The entry point hands over the show: start() opens the window and starts
// the show once the viewer's gesture came (false when it did not open),
// frame() runs one pass of the main loop per animation frame and returns
// false once the show has ended and its window is closed. Returns at once;
// the page calls back from then on.
void platWebRunPage(bool (*start)(), bool (*frame)());

// display.cpp: what the page got at the start gesture (fullscreen, and the
// viewer's answer to the windowed question, PLAT_ANSWER_*), and the queue
// that DOM events reach the show through.
void webSetStartOffer(bool fullscreen, int answer);
void webPostMessage(int type, uint32_t wParam, uint32_t lParam);

// page.cpp: counts a frame handed to the browser.
void webFrameDrawn();

// timer.cpp: stops the periodic timer (a show has ended; on the desktop the
// process ends with it), and runs every tick whose deadline has passed.
void webStopTimer();
void webRunDueTicks();
// timer.cpp: inside a tick, the deadline it stands for (page clock, ms);
// -1 outside ticks.
double webTickTimeMs();

// sound.cpp: milliseconds on the page's monotonic clock.
double webNowMs();
// sound.cpp: keeps the music queued on the audio context (each animation
// frame; also each position query and each buffer that ends), and stops
// it when a show ends.
extern "C" void webSoundTopUp();
void webStopSound();
