// The main window's resizing and the fitting of fonts to frames.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QFontMetricsF>
#include <QTest>

namespace vantle::testing {
namespace {

TEST(FittedFont, FillsTheFrameAndNeverVanishes) {
    const QString sample = QStringLiteral("-88:88");
    QFont base;
    base.setPointSizeF(30.0);
    struct Case {
        QSizeF frame;
        std::optional<double> pointSize; // nothing: fitted to the frame
        bool made;
    };
    const Case cases[] = {
        {{200, 60}, std::nullopt, true},
        {{600, 300}, std::nullopt, true},
        {{4, 4}, 1.0, true},  // smaller than the margin: the smallest font, not a crash
        {{0, 60}, {}, false}, // empty frames are skipped
        {{200, -1}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.frame.width());
        const std::optional<QFont> font = MainViewController::fittedFont(sample, base, c.frame);
        ASSERT_EQ(font.has_value(), c.made);
        if (!font) continue;
        if (c.pointSize) {
            EXPECT_DOUBLE_EQ(font->pointSizeF(), *c.pointSize);
            continue;
        }
        // One of the two sides is filled to within its 5-point margin; neither is exceeded.
        const QFontMetricsF metrics(*font);
        const double widthUse = metrics.horizontalAdvance(sample) / (c.frame.width() - 5.0);
        const double heightUse = 0.77 * metrics.height() / (c.frame.height() - 5.0);
        EXPECT_NEAR(std::max(widthUse, heightUse), 1.0, 0.08);
        EXPECT_EQ(font->family(), base.family());
    }
}

TEST_F(MainWindowTest, TheWaveformIsMadeAgainOnceTheResizingEnds) {
    start();
    view().insertEntries({audioFile("song.wav", 2.0)});
    view().loadEntryAtRow(0);
    const std::size_t requests = waveform->requests.size();
    window->resize(760, 560);
    window->resize(780, 580);
    QApplication::processEvents();
    EXPECT_EQ(waveform->requests.size(), requests) << "not while the size is still changing";
    ASSERT_TRUE(QTest::qWaitFor([&] { return waveform->requests.size() > requests; }, 10000));
    EXPECT_EQ(waveform->requests.size(), requests + 1) << "once for the whole resize";
    // A move is no resize.
    window->move(window->pos() + QPoint(30, 20));
    QTest::qWait(2 * MainViewController::endResizeQuietMilliseconds);
    EXPECT_EQ(waveform->requests.size(), requests + 1);
}

} // namespace
} // namespace vantle::testing
