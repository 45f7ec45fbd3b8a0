#pragma once
// The values wrapped once around a centre, growing outwards from it (circle) or from an inner circle
// (ring). No state; any thread that owns the painter.

#include "Wavesketch/WaveformRenderer.h"

#include <variant>

namespace wavesketch {

class CircularWaveformRenderer final : public WaveformRenderer {
public:
    struct Circle {};
    // The inner radius as a fraction of the outer one.
    struct Ring {
        double fraction;
    };
    using Kind = std::variant<Ring, Circle>;

    explicit CircularWaveformRenderer(Kind kind) : kind(kind) {}

    // Centred at the position's fraction of both width and height.
    QPainterPath path(std::span<const float> samples, const Waveform::Configuration& configuration,
                      std::int64_t lastOffset, Waveform::Position position) const override;
    // Always centred in the picture, whatever the position.
    void render(std::span<const float> samples, QPainter& context,
                const Waveform::Configuration& configuration, std::int64_t lastOffset,
                Waveform::Position position) const override;

    Kind kind;
};

} // namespace wavesketch
