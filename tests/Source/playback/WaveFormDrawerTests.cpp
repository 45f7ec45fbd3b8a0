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

TEST(WaveFormDrawerTest, LinesReachAsFarAsTheirValueAboutTheAxis) {
    struct Probe {
        const char* name;
        WaveformPosition position;
        int height;
        float value;
        int row; // image rows count down from the top; the picture's y counts up from the bottom
        bool ink;
    };
    const Probe probes[] = {
        {"middle, loudest, inside 10 … 90", WaveformPosition::middle, 100, 0.0f, 15, true},
        {"middle, loudest, above 90", WaveformPosition::middle, 100, 0.0f, 5, false},
        {"middle, silence, inside 48 … 52", WaveformPosition::middle, 100, 1.0f, 50, true},
        {"middle, silence, above 52", WaveformPosition::middle, 100, 1.0f, 45, false},
        {"top, loudest, below 40", WaveformPosition::top, 60, 0.0f, 25, true},
        {"top, loudest, above 40", WaveformPosition::top, 60, 0.0f, 15, false},
        {"bottom, loudest, above 20", WaveformPosition::bottom, 60, 0.0f, 35, true},
        {"bottom, loudest, below 20", WaveformPosition::bottom, 60, 0.0f, 45, false},
    };
    for (const Probe& p : probes) {
        std::vector<float> values(40, 1.0f);
        values[10] = p.value;
        values[11] = 1.0f;
        const std::optional<QImage> image =
            WaveFormDrawer::waveformImage(values, config(QSizeF(40, p.height), WaveformStyle::filled(), p.position), -3);
        ASSERT_TRUE(image) << p.name;
        EXPECT_EQ(image->size(), QSize(40, p.height));
        EXPECT_EQ(inked(*image, 10, p.row), p.ink) << p.name;
    }
}

TEST(WaveFormDrawerTest, StripesScaleAndPeriod) {
    struct Case {
        const char* name;
        WaveformStyle style;
        double scale;
        int column;
        bool ink;
    };
    const Case cases[] = {
        {"period 3: a line at 3", WaveformStyle::striped(3), 1.0, 3, true},
        {"period 3: none at 4", WaveformStyle::striped(3), 1.0, 4, false},
        {"period 0 counts as 1", WaveformStyle::striped(0), 1.0, 4, true},
        {"negative period counts as 1", WaveformStyle::striped(-2), 1.0, 4, true},
        {"scale 2: 40 values fill 20 points", WaveformStyle::filled(), 2.0, 15, true},
        {"scale 2: nothing past 20 points", WaveformStyle::filled(), 2.0, 30, false},
    };
    for (const Case& c : cases) {
        const std::optional<QImage> image = WaveFormDrawer::waveformImage(
            std::vector<float>(40, 0.0f), config(QSizeF(40, 50), c.style, WaveformPosition::middle, c.scale), 0);
        ASSERT_TRUE(image) << c.name;
        EXPECT_EQ(inked(*image, c.column, 25), c.ink) << c.name;
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

    WaveformConfiguration framed = config(QSizeF(400, 100), WaveformStyle::filled(), WaveformPosition::middle, 1.0, 4);
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
        EXPECT_FALSE(WaveFormDrawer::waveformImage({0.5f}, config(size), 0)) << size.width() << "x" << size.height();
    EXPECT_FALSE(waveformPositionFromRawValue(2));
    EXPECT_EQ(waveformPositionFromRawValue(-1), WaveformPosition::top);
}

} // namespace
