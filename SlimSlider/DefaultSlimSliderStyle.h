#pragma once
// The slider's plain style: a faint rounded background, the content brighter while focused. Main thread.

#include "SlimSlider/SlimSliderStyle.h"

namespace slimslider {

class DefaultSlimSliderStyle final : public SlimSliderStyle {
public:
    void makeBody(QPainter& painter, const QRectF& rect, const SlimSliderStyleConfiguration& configuration,
                  const SlimSliderPalette& palette) const override;
};

} // namespace slimslider
