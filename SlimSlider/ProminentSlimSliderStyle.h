#pragma once
// A style that tints the slider's active parts with the colour of the half its value lies in, and can show
// a gradient of the two colours while focused. Main thread.

#include "SlimSlider/SlimSliderStyle.h"

namespace slimslider {

class ProminentSlimSliderStyle final : public SlimSliderStyle {
public:
    ProminentSlimSliderStyle(SlimSliderColor lowerColor, SlimSliderColor upperColor,
                             bool useGradientBackground)
        : lowerColor(lowerColor), upperColor(upperColor), useGradientBackground(useGradientBackground) {}

    void makeBody(QPainter& painter, const QRectF& rect, const SlimSliderStyleConfiguration& configuration,
                  const SlimSliderPalette& palette) const override;

    // The accent colour the style gives the content of a slider in this configuration.
    SlimSliderColor accentColor(const SlimSliderStyleConfiguration& configuration) const;

    const SlimSliderColor lowerColor;
    const SlimSliderColor upperColor;
    bool useGradientBackground;
};

} // namespace slimslider
