#pragma once
// The classic horizontal waveform: one value per pixel column, the upper edge drawn left to right and the
// lower edge back, around an axis at the position's height. No state; any thread that owns the painter.

#include "Wavesketch/WaveformRenderer.h"

namespace wavesketch {

class LinearWaveformRenderer final : public WaveformRenderer {
public:
    // With fewer values than pixel columns the values sit at the right edge; with more, the first ones fall
    // left of 0. Striped: one vertical stroke per stripe.
    QPainterPath path(std::span<const float> samples, const Waveform::Configuration& configuration,
                      std::int64_t lastOffset, Waveform::Position position) const override;
    void render(std::span<const float> samples, QPainter& context,
                const Waveform::Configuration& configuration, std::int64_t lastOffset,
                Waveform::Position position) const override;
};

} // namespace wavesketch
