// The style of the log's scroll bar: the application's, with a thumb that can be as short as
// the log's track needs. The log is 53 pixels high; its track is shorter than the thumb that
// styles allow at least, which then leave the thumb out and nothing shows that lines are hidden.
#pragma once

#include <QProxyStyle>

class SmallThumbStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};
