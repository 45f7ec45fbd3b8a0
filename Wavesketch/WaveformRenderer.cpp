#include "Wavesketch/WaveformRenderer.h"

#include "platform/foundation/Console.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPathStroker>

#include <cmath>

namespace wavesketch {

namespace {

// The vertical gradient over the picture: colours evenly spread, the last one continued beyond the end.
QLinearGradient rendererGradient(const std::vector<QColor>& colors, double height) {
    QLinearGradient gradient(0.0, 0.0, 0.0, height);
    gradient.setSpread(QGradient::PadSpread);
    if (colors.size() == 1) {
        gradient.setColorAt(0.0, colors.front());
        gradient.setColorAt(1.0, colors.front());
    }
    for (std::size_t i = 0; colors.size() > 1 && i < colors.size(); ++i)
        gradient.setColorAt(double(i) / double(colors.size() - 1), colors[i]);
    return gradient;
}

bool rendererHasColors(const std::vector<QColor>& colors) {
    if (!colors.empty()) return true;
    platform::consolePrint("ERROR: a gradient needs at least one colour");
    return false;
}

} // namespace

std::int64_t truncatedInt(double x) {
    constexpr double limit = 4.0e15;
    if (!(x == x)) return 0;
    return std::int64_t(std::clamp(x, -limit, limit));
}

std::int64_t stripeBucket(const Waveform::Style::StripeConfig& stripes, double scale) {
    const std::int64_t cycle = truncatedInt(stripes.width + stripes.spacing), perPoint = truncatedInt(scale);
    return cycle >= 1 && perPoint >= 1 ? cycle * perPoint : 0;
}

bool WaveformRenderer::canDraw(const Waveform::Configuration& configuration) {
    const auto* stripes = configuration.style().stripes();
    if (!stripes || stripeBucket(*stripes, configuration.scale()) != 0) return true;
    platform::consolePrint("ERROR: stripes need a scale and a stripe width plus spacing of at least 1");
    return false;
}

void WaveformRenderer::style(QPainter& context, const QPainterPath& shape,
                             const Waveform::Configuration& configuration) {
    using Style = Waveform::Style;
    QPainterPath path = shape;
    path.setFillRule(Qt::WindingFill);
    const double height = configuration.size().height();
    context.save();
    std::visit(
        [&](const auto& style) {
            using S = std::decay_t<decltype(style)>;
            if constexpr (std::is_same_v<S, Style::Filled>) {
                context.fillPath(path, style.color);
            } else if constexpr (std::is_same_v<S, Style::Outlined>) {
                // Joins past the miter limit become bevels: a plain miter join would draw a spike where a
                // closed stripe turns back on itself.
                QPen pen(style.color, style.width, Qt::SolidLine, Qt::RoundCap, Qt::SvgMiterJoin);
                pen.setMiterLimit(10.0);
                context.strokePath(path, pen);
            } else if constexpr (std::is_same_v<S, Style::Gradient>) {
                if (rendererHasColors(style.colors))
                    context.fillPath(path, rendererGradient(style.colors, height));
            } else if constexpr (std::is_same_v<S, Style::GradientOutlined>) {
                if (rendererHasColors(style.colors)) {
                    QPainterPathStroker stroker;
                    stroker.setWidth(style.width);
                    stroker.setCapStyle(Qt::RoundCap);
                    stroker.setJoinStyle(Qt::RoundJoin);
                    QPainterPath outline = stroker.createStroke(path);
                    outline.setFillRule(Qt::WindingFill);
                    context.fillPath(outline, rendererGradient(style.colors, height));
                }
            } else {
                QPen pen(style.config.color, style.config.width, Qt::SolidLine, style.config.lineCap,
                         Qt::SvgMiterJoin);
                pen.setMiterLimit(10.0);
                context.strokePath(path, pen);
            }
        },
        configuration.style().value());
    context.restore();
}

} // namespace wavesketch
