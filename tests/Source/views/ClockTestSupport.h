#pragma once
// A break timer and pixel helpers for the clock and screensaver tests.

#include "Source/views/RestTimerState.h"
#include "tests/support/Clocks.h"

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdlib>
#include <ctime>
#include <optional>

namespace vantle::testing {

class FakeRestTimer final : public RestTimerState {
public:
    std::optional<platform::Date> timeArmed() const override { return armed; }
    double armedLength() const override { return length; }

    std::optional<platform::Date> armed;
    double length = 0;
};

// A date on the local clock of a fixed day, whatever the time zone.
inline platform::Date clockLocalDate(int hour, int minute, int second) {
    return testsupport::localDate(2024, 3, 14, hour, minute, second);
}

// What the widget itself paints, on a transparent canvas of its size (no window background).
inline QImage renderedWidget(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Whether a pixel has about the colour (antialiased edges aside).
inline bool pixelIs(const QImage& image, int x, int y, const QColor& color) {
    const QColor pixel = image.pixelColor(x, y);
    return pixel.alpha() > 200 && std::abs(pixel.red() - color.red()) < 40 &&
           std::abs(pixel.green() - color.green()) < 40 && std::abs(pixel.blue() - color.blue()) < 40;
}

inline int countPixels(const QImage& image, const QColor& color) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (pixelIs(image, x, y, color)) ++count;
    return count;
}

} // namespace vantle::testing
