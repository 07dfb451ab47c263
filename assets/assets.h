// The asset files of this folder, compiled into the executable (assets.S).
// Each is constant for the life of the process; <name>Size is its length in
// bytes. One zero byte follows every blob (not counted), so the scroller
// text is a C string.
#pragma once

#include <cstdint>

#define WERULE_ASSET(name)                                                                         \
    extern "C" const unsigned char name[];                                                         \
    extern "C" const uint32_t name##Size

WERULE_ASSET(assetCheckerPng);
WERULE_ASSET(assetFlarePng);
WERULE_ASSET(assetLogoPng);
WERULE_ASSET(assetBackdropPng);
WERULE_ASSET(assetGreetingsPng);
WERULE_ASSET(assetCreditsPng);
WERULE_ASSET(assetPhotoPng);
WERULE_ASSET(assetMusicIt);      // Impulse Tracker module
WERULE_ASSET(assetMeshBin);      // vertices, faces, face normals, texture coordinates
WERULE_ASSET(assetScrollerTxt);  // one line of printable ASCII, no newline
WERULE_ASSET(assetFontTtf);      // Liberation Sans Bold; empty where the system gives the font

#undef WERULE_ASSET
