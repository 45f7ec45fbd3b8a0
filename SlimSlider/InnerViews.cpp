#include "SlimSlider/InnerViews.h"

#include "SlimSlider/Scale.h"

#include <QPainter>
#include <QPen>

namespace slimslider {

namespace {

QRectF slimSliderBarRect(const QRectF& slider, double width, double offsetX) {
    return QRectF(slider.center().x() + offsetX - width / 2.0, slider.top(), width, slider.height());
}

} // namespace

void ProgressView::paint(QPainter& painter, const QRectF& slider, const SecondaryAppearance& appearance,
                         const SlimSliderPalette& palette) const {
    const auto& fill = isFocused ? appearance.focusedProgressFillStyle : appearance.progressFillStyle;
    fill.fill(painter, slimSliderBarRect(slider, width, offsetX), palette);
}

void HandleView::paint(QPainter& painter, const QRectF& slider, const SecondaryAppearance& appearance,
                       const SlimSliderPalette& palette) const {
    painter.fillRect(slimSliderBarRect(slider, width, offsetX),
                     isFocused ? palette.accent : appearance.handleColor.resolve(palette));
}

void ScaleView::paint(QPainter& painter, const QRectF& slider, const SecondaryAppearance& appearance,
                      const SlimSliderPalette& palette) const {
    painter.save();
    for (const ScaleLayer& layer : scaleLayers(steps, scaleLength, secondaryScaleLength)) {
        const SlimSliderColor& color =
            layer.tone == ScaleTone::main ? appearance.scaleColor : appearance.secondaryScaleColor;
        QPen pen(color.resolve(palette), lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        pen.setMiterLimit(10.0);
        painter.setPen(pen);
        const double height = layer.length > 0.0 ? layer.length : slider.height();
        for (double x : layer.scale.lineXs(slider.width(), slider.width()))
            painter.drawLine(
                QLineF(slider.left() + x, slider.top(), slider.left() + x, slider.top() + height));
    }
    painter.restore();
}

} // namespace slimslider
