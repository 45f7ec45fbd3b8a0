// The waveform picture, probed pixel by pixel: where the lines reach for each axis position, the
// stripes, the gradient, border and central line, and the sizes that are refused.
#include "Source/playback/WaveFormDrawer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace vantle;

const QColor kLine(255, 0, 0), kBackground(255, 255, 255);

WaveformConfiguration config(QSizeF size, WaveformStyle style = WaveformStyle::filled(),
                             WaveformPosition position = WaveformPosition::middle, double scale = 1.0,
                             double border = 0.0) {
    return WaveformConfiguration(size, kLine, kBackground, style, position, scale, border, QColor(0, 0, 255),
                                 std::nullopt);
}

// A pixel the line colour touched (lines one point wide straddle two pixel columns).
bool inked(const QImage& image, int x, int row) {
    return image.pixelColor(x, row).green() < 200;
}

TEST(WaveFormDrawerTest, LinesReachAsFarAsTheirValueAboutTheAxisEveryPeriodAtTheirScale) {
    using P = WaveformPosition;
    using S = WaveformStyle;
    struct Probe {
        P position;
        S style;
        double scale;
        int height;
        float value;     // of every value but the neighbours of column 10, which are silent
        int column, row; // image rows count down from the top; the picture's y counts up
        bool ink;
    };
    const Probe probes[] = {
        {P::middle, S::filled(), 1, 100, 0, 10, 15, true}, {P::middle, S::filled(), 1, 100, 0, 10, 5, false},
        {P::middle, S::filled(), 1, 100, 1, 10, 50, true}, {P::middle, S::filled(), 1, 100, 1, 10, 45, false},
        {P::top, S::filled(), 1, 60, 0, 10, 25, true},     {P::top, S::filled(), 1, 60, 0, 10, 15, false},
        {P::bottom, S::filled(), 1, 60, 0, 10, 35, true},  {P::bottom, S::filled(), 1, 60, 0, 10, 45, false},
        {P::middle, S::striped(3), 1, 50, 0, 3, 25, true}, {P::middle, S::striped(3), 1, 50, 0, 4, 25, false},
        {P::middle, S::striped(0), 1, 50, 0, 4, 25, true}, {P::middle, S::striped(-2), 1, 50, 0, 4, 25, true},
        {P::middle, S::filled(), 2, 50, 0, 15, 25, true},  {P::middle, S::filled(), 2, 50, 0, 30, 25, false},
    };
    for (const Probe& p : probes) {
        std::vector<float> values(40, p.value);
        if (p.style.kind != S::Kind::striped && p.scale == 1) values[9] = values[11] = 1.0f;
        const auto image = WaveFormDrawer::waveformImage(
            values, config(QSizeF(40, p.height), p.style, p.position, p.scale), -3);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), QSize(40, p.height));
        EXPECT_EQ(inked(*image, p.column, p.row), p.ink) << &p - probes;
    }
}

TEST(WaveFormDrawerTest, GradientBorderAndCentralLine) {
    const std::vector<float> loud(400, 0.0f);
    const std::optional<QImage> gradient =
        WaveFormDrawer::waveformImage(loud, config(QSizeF(400, 100), WaveformStyle::gradient()), 0);
    ASSERT_TRUE(gradient);
    // From the line colour at the lower end of the longest line to its highlight at the upper end.
    EXPECT_LT(gradient->pixelColor(200, 88).green(), 40);
    EXPECT_GT(gradient->pixelColor(200, 12).green(), 100);

    WaveformConfiguration framed =
        config(QSizeF(400, 100), WaveformStyle::filled(), WaveformPosition::middle, 1.0, 4);
    framed.drawCentraLine = true;
    framed.centralLineColor = QColor(0, 255, 0);
    const std::optional<QImage> image = WaveFormDrawer::waveformImage({}, framed, 0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelColor(0, 50), QColor(0, 0, 255));
    EXPECT_EQ(image->pixelColor(197, 50), QColor(0, 255, 0));
    EXPECT_EQ(image->pixelColor(198, 50), QColor(0, 255, 0));
    EXPECT_EQ(image->pixelColor(200, 50), kBackground);

    const std::optional<QImage> plain = WaveFormDrawer::waveformImage({}, config(QSizeF(400, 100)), 0);
    ASSERT_TRUE(plain);
    for (QPoint p : {QPoint(0, 50), QPoint(198, 50), QPoint(399, 99)})
        EXPECT_EQ(plain->pixelColor(p), kBackground);
}

TEST(WaveFormDrawerTest, SizesWithoutABitmapAreRefused) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    for (QSizeF size : {QSizeF(nan, 10), QSizeF(10, inf), QSizeF(0, 10), QSizeF(10, -5), QSizeF(1e9, 10)})
        EXPECT_FALSE(WaveFormDrawer::waveformImage({0.5f}, config(size), 0))
            << size.width() << "x" << size.height();
    EXPECT_FALSE(waveformPositionFromRawValue(2));
    EXPECT_EQ(waveformPositionFromRawValue(-1), WaveformPosition::top);
}

} // namespace
