// Fitting fonts to frames, as the main view sizes its texts.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QFontMetricsF>

namespace vantle::testing {
namespace {

TEST(FittedFont, FillsTheFrameAndNeverVanishes) {
    const QString sample = QStringLiteral("-88:88");
    const QFont base(QStringLiteral("Sans"), 30);
    // Filled (one side used to its 5-point margin), the smallest font, or none for an empty frame.
    const struct {
        QSizeF frame;
        std::optional<double> pointSize;
        bool made;
    } cases[] = {{{200, 60}, {}, true}, {{600, 300}, {}, true}, {{4, 4}, 1.0, true}, {{0, 60}, {}, false}};
    for (const auto& c : cases) {
        const std::optional<QFont> font = MainViewController::fittedFont(sample, base, c.frame);
        ASSERT_EQ(font.has_value(), c.made);
        if (!font) continue;
        const QFontMetricsF metrics(*font);
        const double used = std::max(metrics.horizontalAdvance(sample) / (c.frame.width() - 5.0),
                                     0.77 * metrics.height() / (c.frame.height() - 5.0));
        if (c.pointSize)
            EXPECT_EQ(font->pointSizeF(), *c.pointSize);
        else
            EXPECT_NEAR(used, 1.0, 0.08);
    }
}

} // namespace
} // namespace vantle::testing
