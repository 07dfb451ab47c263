// The quad primitive and the composition of one frame.
#pragma once

#include <cstdint>

// Which credit panel the scene pass shows: 1 greetings, 2 credits. Starts
// at 1; written by the scene pass only (main thread).
extern int32_t panelSelect;
// Puts panelSelect back to 1, as a new process has it. Main thread, between
// shows.
void resetFrameState();

// Binds texture `name` and emits one quad in z = 0 of the current modelview,
// centred on the origin, width along x and height along y, counter-clockwise
// seen from +z, with s from 0 at -x to 1 at +x and t from 0 at +y to 1 at -y.
// Sets no colour, blend or depth state. Main thread.
void drawQuad(float height, float width, unsigned name);

// The credit panel's alpha byte at show time t: |trunc(sin(0.02 t) * 255)|.
int panelAlpha(float t);
// The panel flip after a panel is drawn at show time t: when the alpha is
// below 1, panelSelect turns 2 into 1 and anything else into 2. Main thread.
void flipPanelAt(float t);

// Draws one complete frame into the back buffer from showTime, flashLevel,
// the stars and panelSelect; expects the modelview matrix selected and
// leaves it so. Main thread, GL context current; always true.
bool drawFrame();
