#include "WavesketchViews/WaveformLiveCanvas.h"

#include <QPainter>

namespace wavesketch {

WaveformLiveCanvas::WaveformLiveCanvas(std::vector<float> samples, Waveform::Configuration configuration,
                                       std::shared_ptr<const WaveformRenderer> renderer,
                                       bool shouldDrawSilencePadding, QWidget* parent)
    : QWidget(parent), samples_(std::move(samples)), configuration_(std::move(configuration)),
      renderer_(std::move(renderer)), shouldDrawSilencePadding_(shouldDrawSilencePadding) {
    waveformDrawer_.setShouldDrawSilencePadding(shouldDrawSilencePadding);
}

Waveform::Configuration WaveformLiveCanvas::defaultConfiguration() {
    // The screen's scale of the first use, like every later canvas of the process.
    static const Waveform::Configuration configuration = Waveform::Configuration::stock();
    return configuration;
}

void WaveformLiveCanvas::setSamples(std::vector<float> samples) {
    samples_ = std::move(samples);
    update();
}

void WaveformLiveCanvas::setConfiguration(const Waveform::Configuration& configuration) {
    configuration_ = configuration;
    update();
}

void WaveformLiveCanvas::setShouldDrawSilencePadding(bool pad) {
    shouldDrawSilencePadding_ = pad;
    if (paddingWatch_) paddingWatch_->set(pad);
    update();
}

void WaveformLiveCanvas::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    waveformDrawer_.setShouldDrawSilencePadding(shouldDrawSilencePadding_);
    if (!paddingWatch_)
        paddingWatch_.emplace(shouldDrawSilencePadding_,
                              [this](const bool& pad) { waveformDrawer_.setShouldDrawSilencePadding(pad); });
}

void WaveformLiveCanvas::paintEvent(QPaintEvent*) {
    if (!renderer_) return;
    QPainter painter(this);
    // The renderers count y upwards from the bottom edge.
    painter.setTransform(QTransform(1.0, 0.0, 0.0, -1.0, 0.0, double(height())));
    const auto drawConfiguration = *configuration_.with({.size = QSizeF(size())});
    waveformDrawer_.draw(samples_, painter, drawConfiguration, *renderer_, Waveform::Position::middle());
}

} // namespace wavesketch
