#include "Wavesketch/CircularWaveformRenderer.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace wavesketch {

QPainterPath CircularWaveformRenderer::path(std::span<const float> samples,
                                            const Waveform::Configuration& configuration,
                                            std::int64_t lastOffset, Waveform::Position position) const {
    const QSizeF size = configuration.size();
    const double radius = std::min(size.width(), size.height()) * 0.5 * configuration.verticalScalingFactor();
    const double o = position.offset();
    const QPointF centre(size.width() * o, size.height() * o);
    const auto* ring = std::get_if<Ring>(&kind);
    const double inner = ring ? ring->fraction * radius : 0.0;
    const auto* stripes = configuration.style().stripes();
    const std::int64_t perPoint = stripes ? truncatedInt(configuration.scale()) : 1;
    const std::int64_t bucket = stripes ? stripeBucket(*stripes, configuration.scale()) : 1;

    QPainterPath path;
    path.moveTo(ring ? centre + QPointF(inner, 0.0) : centre);
    const auto n = std::int64_t(samples.size());
    for (std::int64_t i = 0; i < n && bucket != 0; ++i) {
        const double angle = double(i) / double(n) * 6.283185307179586;
        const QPointF direction(std::cos(angle), std::sin(angle));
        const bool stripe = !stripes || ((i + lastOffset) % perPoint == 0 && (i + lastOffset) % bucket == 0);
        const double reach = (1.0 - double(samples[std::size_t(i)])) * (radius - inner);
        if (ring && !stripe)
            path.moveTo(centre + inner * direction);
        else if (!stripe)
            path.lineTo(centre);
        else
            path.lineTo(centre + (inner + reach) * direction);
    }
    path.closeSubpath();
    return path;
}

void CircularWaveformRenderer::render(std::span<const float> samples, QPainter& context,
                                      const Waveform::Configuration& configuration, std::int64_t lastOffset,
                                      Waveform::Position) const {
    if (!canDraw(configuration)) return;
    style(context, path(samples, configuration, lastOffset, Waveform::Position::middle()), configuration);
}

} // namespace wavesketch
