// Whether a control's text fits the room that its style gives it, in the control's own font.
#pragma once

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

// The text of a push button inside the button's contents rectangle.
inline bool FitsPushButton(const QAbstractButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    const QRect room =
        button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    const QFontMetrics metrics(button.font());
    return metrics.horizontalAdvance(button.text()) <= room.width() &&
           metrics.height() <= room.height();
}

// The text of a radio button beside its indicator, within the button's size.
inline bool FitsRadioButton(const QRadioButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.text = button.text();
    const QRect room =
        button.style()->subElementRect(QStyle::SE_RadioButtonContents, &option, &button);
    const QFontMetrics metrics(button.font());
    return metrics.horizontalAdvance(button.text()) <= room.width() &&
           metrics.height() <= room.height();
}

// The text of a label within the label.
inline bool FitsLabel(const QLabel& label) {
    const QFontMetrics metrics(label.font());
    return metrics.horizontalAdvance(label.text()) <= label.contentsRect().width() &&
           metrics.height() <= label.contentsRect().height();
}
