#include "SlimSlider/AnySlimSliderStyle.h"

#include "SlimSlider/DefaultSlimSliderStyle.h"

namespace slimslider {

AnySlimSliderStyle::AnySlimSliderStyle() {
    static const std::shared_ptr<const SlimSliderStyle> defaultStyle =
        std::make_shared<const DefaultSlimSliderStyle>();
    style_ = defaultStyle;
}

} // namespace slimslider
