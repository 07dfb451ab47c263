// The perspective of every projection the show lays: the window's (app/view),
// the scene pass's and the overlay's (scene/frame) and the text's
// (scene/text). They differ only in their aspect.
#pragma once

constexpr double VIEW_FIELD_OF_VIEW = 60.0;  // degrees, vertical
constexpr double VIEW_NEAR_PLANE = 0.2;      // eye-space units
constexpr double VIEW_FAR_PLANE = 5000.0;    // eye-space units
constexpr double VIEW_SCENE_ASPECT = 2.0;    // the scene pass and the overlay: the 2:1 band
constexpr double VIEW_TEXT_ASPECT = 1.0;     // the text pass
