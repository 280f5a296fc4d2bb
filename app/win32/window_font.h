// The font of both windows and all their controls.
#pragma once

#include <windows.h>

inline constexpr const char* kWindowFontFace = "MS Sans Serif";
inline constexpr int kWindowFontHeight = -11; // character height in pixels: 8 points at 96 dpi

// Made once, kept until the program ends.
HFONT WindowFont();
