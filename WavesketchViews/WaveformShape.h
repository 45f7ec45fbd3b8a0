#pragma once
// A list of amplitude values as a shape: asked for its outline in a rectangle it returns the renderer's
// path, faded after the configuration's damping, as the renderer draws it (y up from the bottom edge, as
// in the drawer's images); whoever paints it in a widget turns it over. Beside it the package's
// default styling, which paints such a shape after the configuration's style. Value type; the painting
// widget lives on the main thread.

#include "Wavesketch/Waveform.h"
#include "Wavesketch/WaveformRenderer.h"

#include <QPainterPath>
#include <QRectF>
#include <QWidget>

#include <memory>
#include <vector>

class QPainter;

namespace wavesketch {

class WaveformShape {
public:
    WaveformShape(std::vector<float> samples, Waveform::Configuration configuration,
                  std::shared_ptr<const WaveformRenderer> renderer);

    // Drawn as if the picture reached from (0, 0) to the rectangle's far corner; no values, no outline.
    QPainterPath path(const QRectF& rect) const;

    const std::vector<float>& samples() const { return samples_; }
    const Waveform::Configuration& configuration() const { return configuration_; }
    const std::shared_ptr<const WaveformRenderer>& renderer() const { return renderer_; }

private:
    std::vector<float> samples_;
    Waveform::Configuration configuration_;
    std::shared_ptr<const WaveformRenderer> renderer_;
};

// Paints the shape's outline in `rect` after `configuration`'s style: filled, stroked, or filled or
// stroked with a gradient whose first colour is at the rectangle's bottom edge and last at its top.
void paintStyled(QPainter& painter, const WaveformShape& shape, const QRectF& rect,
                 const Waveform::Configuration& configuration);

// A widget that shows a shape with the default styling, filling its own rectangle. Main thread.
class StyledWaveformShape : public QWidget {
public:
    StyledWaveformShape(WaveformShape shape, Waveform::Configuration configuration,
                        QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    WaveformShape shape_;
    Waveform::Configuration configuration_;
};

// The default styling of a shape, as a widget for a view's content.
std::unique_ptr<QWidget> style(const WaveformShape& shape, const Waveform::Configuration& configuration);

} // namespace wavesketch
