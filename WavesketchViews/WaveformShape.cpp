#include "WavesketchViews/WaveformShape.h"

#include "Wavesketch/WaveformImageDrawer.h"
#include "platform/foundation/Console.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPen>

#include <type_traits>

namespace wavesketch {

namespace {

// Round caps and miter joins that turn into bevels past a limit of 10, as strokes of the views are drawn.
QPen shapePen(const QBrush& brush, double width, Qt::PenCapStyle cap) {
    QPen pen(brush, width, Qt::SolidLine, cap, Qt::SvgMiterJoin);
    pen.setMiterLimit(10.0);
    return pen;
}

// First colour at the bottom edge, last at the top, the others evenly between.
std::optional<QLinearGradient> shapeGradient(const std::vector<QColor>& colors, const QRectF& rect) {
    if (colors.empty()) {
        platform::consolePrint("ERROR: a gradient needs at least one colour");
        return std::nullopt;
    }
    QLinearGradient gradient(rect.bottomLeft(), rect.topLeft());
    for (std::size_t i = 0; i < colors.size(); ++i)
        gradient.setColorAt(colors.size() == 1 ? 0.0 : double(i) / double(colors.size() - 1), colors[i]);
    return gradient;
}

} // namespace

WaveformShape::WaveformShape(std::vector<float> samples, Waveform::Configuration configuration,
                             std::shared_ptr<const WaveformRenderer> renderer)
    : samples_(std::move(samples)), configuration_(std::move(configuration)), renderer_(std::move(renderer)) {
}

QPainterPath WaveformShape::path(const QRectF& rect) const {
    if (!renderer_) return {};
    const QSizeF size(rect.right(), rect.bottom());
    // Only the size changes, so the configuration stays valid.
    const auto drawConfiguration = *configuration_.with({.size = size});
    return renderer_->path(dampedValues(samples_, configuration_), drawConfiguration, 0,
                           Waveform::Position::middle());
}

void paintStyled(QPainter& painter, const WaveformShape& shape, const QRectF& rect,
                 const Waveform::Configuration& configuration) {
    using Style = Waveform::Style;
    // The outline counts y upwards from the bottom edge; widgets count it down from the top. Only the
    // path turns over, so pen widths and the gradient stay in widget coordinates.
    QPainterPath path = QTransform(1.0, 0.0, 0.0, -1.0, 0.0, rect.bottom()).map(shape.path(rect));
    path.setFillRule(Qt::WindingFill);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    std::visit(
        [&](const auto& style) {
            using S = std::decay_t<decltype(style)>;
            if constexpr (std::is_same_v<S, Style::Filled>) {
                painter.fillPath(path, style.color);
            } else if constexpr (std::is_same_v<S, Style::Outlined>) {
                painter.strokePath(path, shapePen(style.color, style.width, Qt::RoundCap));
            } else if constexpr (std::is_same_v<S, Style::Gradient>) {
                if (auto gradient = shapeGradient(style.colors, rect)) painter.fillPath(path, *gradient);
            } else if constexpr (std::is_same_v<S, Style::GradientOutlined>) {
                if (auto gradient = shapeGradient(style.colors, rect))
                    painter.strokePath(path, shapePen(*gradient, style.width, Qt::RoundCap));
            } else {
                // The renderer has already placed the stripes; their spacing acts only through the path.
                painter.strokePath(path,
                                   shapePen(style.config.color, style.config.width, style.config.lineCap));
            }
        },
        configuration.style().value());
    painter.restore();
}

StyledWaveformShape::StyledWaveformShape(WaveformShape shape, Waveform::Configuration configuration,
                                         QWidget* parent)
    : QWidget(parent), shape_(std::move(shape)), configuration_(std::move(configuration)) {}

void StyledWaveformShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintStyled(painter, shape_, QRectF(rect()), configuration_);
}

std::unique_ptr<QWidget> style(const WaveformShape& shape, const Waveform::Configuration& configuration) {
    return std::make_unique<StyledWaveformShape>(shape, configuration);
}

} // namespace wavesketch
