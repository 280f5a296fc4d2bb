#include "window_font.h"

namespace {

constexpr int kCharacterHeight = 11; // pixels

} // namespace

QFont WindowFont() {
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setPixelSize(kCharacterHeight);
    font.setStyleHint(QFont::SansSerif);
    return font;
}
