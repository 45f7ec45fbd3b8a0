#include "SlimSlider/ProminentSlimSliderStyle.h"

#include "SlimSlider/SlimSliderConstants.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace slimslider {

SlimSliderColor
ProminentSlimSliderStyle::accentColor(const SlimSliderStyleConfiguration& configuration) const {
    const double lower = configuration.lowerProgress;
    const double upper = configuration.upperProgress;
    const bool upperHalf =
        configuration.isRangeValues ? std::abs(upper - 0.5) > std::abs(lower - 0.5) : lower > 0.5;
    return upperHalf ? upperColor : lowerColor;
}

void ProminentSlimSliderStyle::makeBody(QPainter& painter, const QRectF& rect,
                                        const SlimSliderStyleConfiguration& configuration,
                                        const SlimSliderPalette& palette) const {
    const bool focused = configuration.isFocused();
    const bool gradientShown = useGradientBackground && focused;

    painter.save();
    QPainterPath clip;
    clip.addRoundedRect(rect, cornerRadius, cornerRadius);
    painter.setClipPath(clip, Qt::IntersectClip);
    if (gradientShown) {
        QLinearGradient gradient(rect.topLeft(), rect.topRight());
        gradient.setColorAt(0.0, lowerColor.opacity(0.2).resolve(palette));
        gradient.setColorAt(1.0, upperColor.opacity(0.2).resolve(palette));
        painter.fillRect(rect, gradient);
    } else {
        painter.fillRect(rect, SlimSliderColor::label().opacity(0.075).resolve(palette));
    }

    SlimSliderPalette inner = palette;
    inner.foreground = SlimSliderColor::label().opacity(focused ? 1.0 : 0.7).resolve(palette);
    inner.accent = accentColor(configuration).resolve(palette);
    configuration.label.paint(painter, rect, inner);
    painter.restore();
}

} // namespace slimslider
