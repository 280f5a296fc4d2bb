#include "small_thumb_style.h"

namespace {

constexpr int kThumbMinimum = 8; // pixels: still a thumb to grasp on a 23-pixel track

} // namespace

int SmallThumbStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                 const QWidget* widget) const {
    if (metric == PM_ScrollBarSliderMin)
        return kThumbMinimum;
    return QProxyStyle::pixelMetric(metric, option, widget);
}
