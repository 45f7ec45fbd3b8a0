#include "SlimSlider/DefaultSlimSliderStyle.h"

#include "SlimSlider/SlimSliderConstants.h"

#include <QPainter>
#include <QPainterPath>

namespace slimslider {

void DefaultSlimSliderStyle::makeBody(QPainter& painter, const QRectF& rect,
                                      const SlimSliderStyleConfiguration& configuration,
                                      const SlimSliderPalette& palette) const {
    painter.save();
    QPainterPath clip;
    clip.addRoundedRect(rect, cornerRadius, cornerRadius);
    painter.setClipPath(clip, Qt::IntersectClip);
    painter.fillRect(rect, SlimSliderColor::label().opacity(0.075).resolve(palette));

    SlimSliderPalette inner = palette;
    inner.foreground =
        SlimSliderColor::label().opacity(configuration.isFocused() ? 1.0 : 0.7).resolve(palette);
    configuration.label.paint(painter, rect, inner);
    painter.restore();
}

} // namespace slimslider
