// The quad primitive and the composition of one frame.
#pragma once

bool drawFrame();   // main thread, GL context current; always true
