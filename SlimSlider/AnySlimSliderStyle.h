#pragma once
// AnySlimSliderStyle holds any slider style by value; made empty it holds the default style. Main thread.

#include "SlimSlider/SlimSliderStyle.h"

#include <concepts>
#include <memory>

namespace slimslider {

// Any style, copied once and shared by the copies of this value.
class AnySlimSliderStyle final : public SlimSliderStyle {
public:
    // The default style (one instance for the whole process).
    AnySlimSliderStyle();
    template <class S>
    requires(std::derived_from<S, SlimSliderStyle> && !std::same_as<S, AnySlimSliderStyle>)
        AnySlimSliderStyle(S style)
        : style_(std::make_shared<const S>(std::move(style))) {}

    void makeBody(QPainter& painter, const QRectF& rect, const SlimSliderStyleConfiguration& configuration,
                  const SlimSliderPalette& palette) const override {
        style_->makeBody(painter, rect, configuration, palette);
    }

    // The held style when it is an S, else nullptr.
    template <class S> const S* target() const { return dynamic_cast<const S*>(style_.get()); }

private:
    std::shared_ptr<const SlimSliderStyle> style_;
};

} // namespace slimslider
