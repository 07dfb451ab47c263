// Outline-font text and the scroller line.
#pragma once

void createOutlineFont();   // main thread, start-up, GL context current
