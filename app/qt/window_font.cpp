#include "window_font.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyle>
#include <QStyleOptionButton>

#include <array>

namespace {

constexpr int kCharacterHeights[] = {11, 10, 9}; // pixels, the designed one first
// As designed, then narrower; Qt narrows a face that has no such width itself.
constexpr int kStretches[] = {QFont::AnyStretch, QFont::SemiCondensed, QFont::Condensed};

// The push buttons' captions and sizes, from the two form definitions.
struct Caption {
    const char* text;
    int width;
    int height;
};
constexpr std::array kCaptions{Caption{"Upgrade Software", 97, 25}, Caption{"Setup Comm", 97, 25},
                               Caption{"OK", 75, 25}};

QFont Candidate(int height, int stretch) {
    QFont font(QStringLiteral("DejaVu Sans Condensed"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(height);
    font.setStretch(stretch);
    return font;
}

// Whether every caption fits the room that the style leaves inside its button.
bool CaptionsFit(const QFont& font) {
    const QFontMetrics metrics(font);
    for (const Caption& caption : kCaptions) {
        QStyleOptionButton option;
        option.rect = QRect(0, 0, caption.width, caption.height);
        option.text = QString::fromLatin1(caption.text);
        const QRect room =
            QApplication::style()->subElementRect(QStyle::SE_PushButtonContents, &option);
        if (metrics.horizontalAdvance(option.text) > room.width() ||
            metrics.height() > room.height())
            return false;
    }
    return true;
}

QFont ChooseFont() {
    for (const int height : kCharacterHeights) {
        for (const int stretch : kStretches) {
            const QFont font = Candidate(height, stretch);
            if (CaptionsFit(font))
                return font;
        }
    }
    return Candidate(kCharacterHeights[std::size(kCharacterHeights) - 1],
                     kStretches[std::size(kStretches) - 1]);
}

} // namespace

QFont WindowFont() {
    static const QFont chosen = ChooseFont();
    return chosen;
}
