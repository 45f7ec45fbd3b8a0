#pragma once
// What the waveform package's tests share: configurations in one call, and a renderer that records what the
// drawer hands it. Test thread.

#include "Wavesketch/WaveformRenderer.h"
#include "tests/platform/files/AudioFileFixtures.h"

#include <QPainter>

namespace testsupport {

using wavesketch::Waveform::Configuration;
using wavesketch::Waveform::Damping;
using wavesketch::Waveform::Position;
using wavesketch::Waveform::Style;

inline Configuration sketchConfiguration(QSizeF size, Style style, double scale = 1.0,
                                         std::optional<Damping> damping = std::nullopt) {
    return *Configuration::make(size, Qt::white, std::move(style), std::move(damping), scale, 1.0, false);
}

// Records the values and scroll offset of each render call, and the values and picture size of the last
// outline asked for, instead of drawing.
struct RecordingRenderer final : wavesketch::WaveformRenderer {
    mutable std::vector<std::pair<std::vector<float>, std::int64_t>> calls; // the values and the offset
    mutable std::vector<float> pathValues;
    mutable QSizeF pathSize;

    QPainterPath path(std::span<const float> samples, const Configuration& configuration, std::int64_t,
                      Position) const override {
        pathValues.assign(samples.begin(), samples.end());
        pathSize = configuration.size();
        return {};
    }
    void render(std::span<const float> samples, QPainter&, const Configuration&, std::int64_t lastOffset,
                Position) const override {
        calls.push_back({{samples.begin(), samples.end()}, lastOffset});
    }
};

} // namespace testsupport
