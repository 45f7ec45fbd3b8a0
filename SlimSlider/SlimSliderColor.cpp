#include "SlimSlider/SlimSliderColor.h"

#include <algorithm>

namespace slimslider {

SlimSliderColor SlimSliderColor::opacity(double opacity) const {
    SlimSliderColor copy = *this;
    copy.opacity_ *= opacity;
    return copy;
}

QColor SlimSliderColor::resolve(const SlimSliderPalette& palette) const {
    QColor color = source_ == Source::label    ? palette.label
                   : source_ == Source::accent ? palette.accent
                                               : color_;
    color.setAlphaF(float(std::clamp(color.alphaF() * opacity_, 0.0, 1.0)));
    return color;
}

} // namespace slimslider
