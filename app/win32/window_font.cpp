#include "window_font.h"

HFONT WindowFont() {
    static const HFONT font =
        CreateFontA(kWindowFontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_DONTCARE, kWindowFontFace);
    return font;
}
