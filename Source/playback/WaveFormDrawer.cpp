#include "Source/playback/WaveFormDrawer.h"

#include "Source/playback/SamplesExtractor.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>

namespace vantle {
namespace {

// A bitmap beyond this many pixels per side is refused rather than attempted.
constexpr double waveformLargestSide = 32768.0;

void drawGraph(QPainter& painter, const std::vector<float>& samples,
               const WaveformConfiguration& configuration, float sampleMax) {
    const double height = configuration.size.height();
    const double axis = height * 0.5 + double(int(configuration.position)) * height * 0.5;
    const double padding =
        configuration.paddingFactor.value_or(configuration.position == WaveformPosition::middle ? 2.5 : 1.5);
    double maxAmplitude = double(sampleMax / SamplesExtractor::noiseFloor());
    const bool striped = configuration.style.kind == WaveformStyle::Kind::striped;
    const int period = std::max(1, configuration.style.period);
    QPainterPath path;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double x = double(i) / configuration.scale;
        const double amplitude = std::max((1.0 - double(samples[i])) * (height / padding), 2.0);
        if (!striped || static_cast<long long>(x) % period == 0) {
            path.moveTo(x, axis - amplitude);
            path.lineTo(x, axis + amplitude);
        }
        maxAmplitude = std::max(maxAmplitude, amplitude);
    }
    QPen pen(configuration.color, 1.0 / configuration.scale);
    pen.setCapStyle(Qt::FlatCap);
    if (configuration.style.kind == WaveformStyle::Kind::gradient) {
        QPainterPathStroker stroker(pen);
        QColor highlight = QColor::fromRgbF(
            float(configuration.color.redF() * 0.5 + 0.5), float(configuration.color.greenF() * 0.5 + 0.5),
            float(configuration.color.blueF() * 0.5 + 0.5), float(configuration.color.alphaF()));
        QLinearGradient gradient(0, axis - maxAmplitude, 0, axis + maxAmplitude);
        gradient.setColorAt(0.0, configuration.color);
        gradient.setColorAt(1.0, highlight);
        gradient.setSpread(QGradient::PadSpread);
        painter.fillPath(stroker.createStroke(path), gradient);
    } else {
        painter.strokePath(path, pen);
    }
}

void drawBorder(QPainter& painter, const WaveformConfiguration& configuration) {
    QPen pen(configuration.borderColor, configuration.borderWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(QPointF(0, 0), configuration.size));
}

void drawCentralLine(QPainter& painter, const QImage& image, const WaveformConfiguration& configuration) {
    if (!configuration.drawCentraLine) return;
    const double x = double(image.width()) * 0.5 - configuration.centralLineWidth;
    QPen pen(configuration.centralLineColor, configuration.centralLineWidth);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    painter.drawLine(QPointF(x, 0), QPointF(x, image.height()));
}

} // namespace

std::optional<WaveformPosition> waveformPositionFromRawValue(int raw) {
    if (raw < -1 || raw > 1) return std::nullopt;
    return WaveformPosition(raw);
}

std::optional<QImage> WaveFormDrawer::waveformImage(const std::vector<float>& samples,
                                                    const WaveformConfiguration& configuration,
                                                    float sampleMax) {
    const double w = configuration.size.width(), h = configuration.size.height();
    if (!std::isfinite(w) || !std::isfinite(h) || !std::isfinite(configuration.scale) ||
        configuration.scale <= 0 || w < 1 || h < 1 || w > waveformLargestSide || h > waveformLargestSide)
        return std::nullopt;
    QImage image(int(w), int(h), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return std::nullopt;
    image.fill(configuration.backgroundColor);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    // The picture's y axis points up from its lower edge.
    painter.translate(0, image.height());
    painter.scale(1, -1);
    painter.save();
    drawGraph(painter, samples, configuration, sampleMax);
    painter.restore();
    if (configuration.borderWidth > 0) drawBorder(painter, configuration);
    drawCentralLine(painter, image, configuration);
    painter.end();
    return image;
}

} // namespace vantle
