#pragma once
// Renderers turn amplitude values (0 the loudest, 1 silence) into a path and paint it into a painter after
// a configuration. They keep no state: any thread that owns the painter may use one.

#include "Wavesketch/Waveform.h"

#include <QPainterPath>

#include <cstdint>
#include <span>

class QPainter;

namespace wavesketch {

// Int(x) as the pictures compute their sizes: truncated towards zero, NaN as 0, saturated far beyond any
// picture, so that no value of a caller makes the conversion undefined.
std::int64_t truncatedInt(double x);

// The stripe bucket, Int(width + spacing) · Int(scale), or 0 when the stripes cannot be drawn because a
// factor is below 1.
std::int64_t stripeBucket(const Waveform::Style::StripeConfig& stripes, double scale);

class WaveformRenderer {
public:
    virtual ~WaveformRenderer() = default;

    // `lastOffset` is how many columns a live waveform has scrolled (0 for still pictures); it only keeps
    // stripes in place.
    virtual QPainterPath path(std::span<const float> samples, const Waveform::Configuration& configuration,
                              std::int64_t lastOffset, Waveform::Position position) const = 0;
    // Builds the path and paints it. Stripes that cannot be drawn (a stripe bucket of 0) paint nothing and
    // print a line.
    virtual void render(std::span<const float> samples, QPainter& context,
                        const Waveform::Configuration& configuration, std::int64_t lastOffset,
                        Waveform::Position position) const = 0;

    // Paints `path` in the configuration's style. A gradient without colours paints nothing and prints a
    // line.
    static void style(QPainter& context, const QPainterPath& path,
                      const Waveform::Configuration& configuration);

protected:
    // False, after printing why, for stripes that cannot be drawn.
    static bool canDraw(const Waveform::Configuration& configuration);
};

} // namespace wavesketch
