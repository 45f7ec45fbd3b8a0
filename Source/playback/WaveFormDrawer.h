#pragma once
// Draws the values of a sample extraction as a waveform picture: one vertical line per value about a
// horizontal axis, on a background, with an optional gradient, border and central line. Any thread.

#include <QColor>
#include <QImage>
#include <QSizeF>

#include <optional>
#include <vector>

namespace vantle {

// Where the axis lies, measured up from the picture's lower edge.
enum class WaveformPosition : int { top = -1, middle = 0, bottom = 1 };
std::optional<WaveformPosition> waveformPositionFromRawValue(int raw);

struct WaveformStyle {
    enum class Kind { striped, filled, gradient };
    Kind kind = Kind::filled;
    // Striped: only every period-th column gets a line.
    int period = 1;

    static WaveformStyle striped(int period) { return {Kind::striped, period}; }
    static WaveformStyle filled() { return {Kind::filled, 1}; }
    static WaveformStyle gradient() { return {Kind::gradient, 1}; }
};

struct WaveformConfiguration {
    WaveformConfiguration(QSizeF size, QColor color, QColor backgroundColor, WaveformStyle style,
                          WaveformPosition position, double scale, double borderWidth, QColor borderColor,
                          std::optional<double> paddingFactor)
        : size(size), color(color), backgroundColor(backgroundColor), style(style), position(position),
          scale(scale), borderWidth(borderWidth), borderColor(borderColor), paddingFactor(paddingFactor) {}

    QSizeF size;
    QColor color;
    QColor backgroundColor;
    WaveformStyle style;
    WaveformPosition position;
    double scale;
    double borderWidth;
    QColor borderColor;
    std::optional<double> paddingFactor;
    bool drawCentraLine = false;
    double centralLineWidth = 2.0;
    QColor centralLineColor = Qt::red;
};

class WaveFormDrawer {
public:
    // Values 0 (loudest) … 1 (noise floor); sampleMax in decibels. None for a size that is not finite,
    // is empty or too large for a bitmap.
    static std::optional<QImage> waveformImage(const std::vector<float>& samples,
                                               const WaveformConfiguration& configuration, float sampleMax);
};

} // namespace vantle
