#include "Wavesketch/LinearWaveformRenderer.h"

#include <QPainter>

#include <algorithm>

namespace wavesketch {

namespace {

enum class LinearPass { upper, lower, stripes };

void linearPass(QPainterPath& path, std::span<const float> samples,
                const Waveform::Configuration& configuration, std::int64_t lastOffset, double axis,
                LinearPass mode) {
    const double scale = configuration.scale(), height = configuration.size().height();
    const double factor = height * configuration.verticalScalingFactor(), least = 1.0 / scale;
    const auto n = std::int64_t(samples.size());
    const double xOffset = double(truncatedInt(configuration.size().width() * scale) - n) / scale;
    std::int64_t perPoint = 1, bucket = 1, shift = 0;
    if (const auto* stripes = configuration.style().stripes()) {
        perPoint = truncatedInt(scale);
        bucket = stripeBucket(*stripes, scale);
        shift = truncatedInt(stripes->width * 0.5 * scale);
    }
    for (std::int64_t i = 0; i < n; ++i) {
        // The lower edge walks back through the values and its columns run n … 1, one to the right of the
        // upper edge's.
        const float v = samples[std::size_t(mode == LinearPass::lower ? n - 1 - i : i)];
        std::int64_t x = (mode == LinearPass::lower ? n - i : i) + lastOffset;
        if (mode == LinearPass::stripes) {
            if (x % perPoint != 0 || x % bucket != 0) continue;
            x += shift;
        }
        const double px = double(x - lastOffset) / scale + xOffset;
        const double a = std::max(least, (1.0 - double(v)) * factor);
        switch (mode) {
        case LinearPass::upper:
            path.lineTo(px, axis - a);
            break;
        case LinearPass::lower:
            path.lineTo(px, axis + a);
            break;
        case LinearPass::stripes:
            path.moveTo(px, axis - a);
            path.lineTo(px, axis + a);
            break;
        }
    }
}

} // namespace

QPainterPath LinearWaveformRenderer::path(std::span<const float> samples,
                                          const Waveform::Configuration& configuration,
                                          std::int64_t lastOffset, Waveform::Position position) const {
    const double axis = position.offset() * configuration.size().height();
    QPainterPath path;
    path.moveTo(0.0, axis);
    const auto* stripes = configuration.style().stripes();
    if (stripes && stripeBucket(*stripes, configuration.scale()) == 0) {
        // Stripes that cannot be placed: the bare start point.
    } else if (stripes) {
        linearPass(path, samples, configuration, lastOffset, axis, LinearPass::stripes);
    } else if (!samples.empty()) {
        linearPass(path, samples, configuration, lastOffset, axis, LinearPass::upper);
        linearPass(path, samples, configuration, lastOffset, axis, LinearPass::lower);
    }
    path.closeSubpath();
    return path;
}

void LinearWaveformRenderer::render(std::span<const float> samples, QPainter& context,
                                    const Waveform::Configuration& configuration, std::int64_t lastOffset,
                                    Waveform::Position position) const {
    if (!canDraw(configuration)) return;
    style(context, path(samples, configuration, lastOffset, position), configuration);
}

} // namespace wavesketch
