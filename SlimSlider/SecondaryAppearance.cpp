#include "SlimSlider/SecondaryAppearance.h"

#include <QBrush>
#include <QPainter>

namespace slimslider {

SecondaryAppearance::ProgressFillStyle SecondaryAppearance::ProgressFillStyle::color(SlimSliderColor color) {
    return ProgressFillStyle(
        [color](QPainter& painter, const QRectF& rect, const SlimSliderPalette& palette) {
            painter.fillRect(rect, color.resolve(palette));
        });
}

SecondaryAppearance::ProgressFillStyle
SecondaryAppearance::ProgressFillStyle::shapeStyle(const QBrush& brush) {
    return ProgressFillStyle([brush](QPainter& painter, const QRectF& rect, const SlimSliderPalette&) {
        painter.fillRect(rect, brush);
    });
}

void SecondaryAppearance::ProgressFillStyle::fill(QPainter& painter, const QRectF& rect,
                                                  const SlimSliderPalette& palette) const {
    if (fill_) fill_(painter, rect, palette);
}

SecondaryAppearance::SecondaryAppearance(ProgressFillStyle progressFillStyle,
                                         ProgressFillStyle focusedProgressFillStyle,
                                         SlimSliderColor handleColor, SlimSliderColor scaleColor,
                                         SlimSliderColor secondaryScaleColor)
    : progressFillStyle(std::move(progressFillStyle)),
      focusedProgressFillStyle(std::move(focusedProgressFillStyle)), handleColor(handleColor),
      scaleColor(scaleColor), secondaryScaleColor(secondaryScaleColor) {}

const SecondaryAppearance& SecondaryAppearance::defaultValue() {
    static const SecondaryAppearance appearance(
        ProgressFillStyle::color(SlimSliderColor::label().opacity(0.075)),
        ProgressFillStyle::color(SlimSliderColor::accent().opacity(0.3)),
        SlimSliderColor::label().opacity(0.2), SlimSliderColor::label().opacity(0.8),
        SlimSliderColor::label().opacity(0.3));
    return appearance;
}

SecondaryAppearance SecondaryAppearance::secondaryColor(SlimSliderColor color,
                                                        std::optional<double> progressOpacity,
                                                        std::optional<double> focusedProgressOpacity,
                                                        std::optional<double> handleOpacity,
                                                        std::optional<double> scaleOpacity,
                                                        std::optional<double> secondaryScaleOpacity) {
    return SecondaryAppearance(ProgressFillStyle::color(color.opacity(progressOpacity.value_or(0.075))),
                               ProgressFillStyle::color(color.opacity(focusedProgressOpacity.value_or(0.3))),
                               color.opacity(handleOpacity.value_or(0.2)),
                               color.opacity(scaleOpacity.value_or(0.8)),
                               color.opacity(secondaryScaleOpacity.value_or(0.3)));
}

SecondaryAppearance SecondaryAppearance::colors(std::optional<SlimSliderColor> progressColor,
                                                std::optional<SlimSliderColor> focusedProgressColor,
                                                std::optional<SlimSliderColor> handleColor,
                                                std::optional<SlimSliderColor> scaleColor,
                                                std::optional<SlimSliderColor> secondaryScaleColor) {
    const SlimSliderColor label = SlimSliderColor::label();
    return SecondaryAppearance(ProgressFillStyle::color(progressColor.value_or(label.opacity(0.075))),
                               ProgressFillStyle::color(focusedProgressColor.value_or(label.opacity(0.3))),
                               handleColor.value_or(label.opacity(0.2)),
                               scaleColor.value_or(label.opacity(0.8)),
                               secondaryScaleColor.value_or(label.opacity(0.3)));
}

SecondaryAppearance SecondaryAppearance::shapeStyles(const QBrush& progressShapeStyle,
                                                     const QBrush& focusedProgressShapeStyle,
                                                     std::optional<SlimSliderColor> handleColor,
                                                     std::optional<SlimSliderColor> scaleColor,
                                                     std::optional<SlimSliderColor> secondaryScaleColor) {
    const SlimSliderColor label = SlimSliderColor::label();
    return SecondaryAppearance(
        ProgressFillStyle::shapeStyle(progressShapeStyle),
        ProgressFillStyle::shapeStyle(focusedProgressShapeStyle), handleColor.value_or(label.opacity(0.2)),
        scaleColor.value_or(label.opacity(0.8)), secondaryScaleColor.value_or(label.opacity(0.3)));
}

} // namespace slimslider
