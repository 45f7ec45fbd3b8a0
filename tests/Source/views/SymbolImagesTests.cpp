// The symbol images: every name the program uses is drawn, recognisably, and an unknown name is
// drawn visibly as the fallback.

#include "Source/views/SymbolImages.h"
#include "Source/views/TintedButton.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <QPixmap>
#include <string>
#include <vector>

namespace vantle {
namespace {

QImage symbolImage(const std::string& name, SymbolWeight weight = SymbolWeight::regular, int side = 64) {
    return SymbolImages::pixmap(name, SymbolConfiguration{double(side), weight, Qt::black}).toImage();
}

int inkIn(const QImage& image, QRect area) {
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qAlpha(image.pixel(x, y)) > 128) ++ink;
    return ink;
}

int ink(const QImage& image) {
    return inkIn(image, image.rect());
}

// Pixels whose opacity differs clearly between two images of one size.
int differingPixels(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (std::abs(qAlpha(a.pixel(x, y)) - qAlpha(b.pixel(x, y))) > 128) ++count;
    return count;
}

TEST(SymbolImages, EveryNameThePlayerUsesIsDrawnDistinctly) {
    const std::vector<std::string> used = {"play.fill",         "pause.fill",         "forward.end.fill",
                                           "backward.end.fill", "z.square",           "pencil",
                                           "chevron.up",        "text.line.previous", "text.line.next"};
    const QImage fallback = symbolImage("no.such.symbol");
    std::vector<QImage> drawn;
    for (const std::string& name : used) {
        EXPECT_TRUE(SymbolImages::contains(name)) << name;
        const QImage image = symbolImage(name);
        EXPECT_EQ(image.size(), QSize(64, 64));
        EXPECT_GT(ink(image), 64 * 64 / 20) << name << " draws visible pixels";
        EXPECT_GT(differingPixels(image, fallback), 100) << name << " is not the fallback";
        for (const QImage& earlier : drawn)
            EXPECT_GT(differingPixels(image, earlier), 100) << name << " differs from the others";
        drawn.push_back(image);
    }
    EXPECT_EQ(SymbolImages::names(), used);
}

TEST(SymbolImages, UnknownNamesDrawAVisibleFallback) {
    EXPECT_FALSE(SymbolImages::contains("play"));
    EXPECT_FALSE(SymbolImages::contains(""));
    const QImage fallback = symbolImage("play");
    EXPECT_GT(ink(fallback), 64 * 64 / 20);
    EXPECT_EQ(differingPixels(fallback, symbolImage("")), 0);
}

TEST(SymbolImages, GlyphsPointTheRightWay) {
    const QImage play = symbolImage("play.fill");
    // Pointing right: broad at the left, a tip at the right.
    EXPECT_GT(inkIn(play, QRect(16, 0, 2, 64)), 3 * inkIn(play, QRect(50, 0, 2, 64)));

    const QImage forward = symbolImage("forward.end.fill");
    EXPECT_GT(inkIn(forward, QRect(12, 0, 2, 64)), 3 * inkIn(forward, QRect(40, 0, 2, 64)));
    EXPECT_LT(differingPixels(symbolImage("backward.end.fill"), forward.mirrored(true, false)), 20);

    const QImage pause = symbolImage("pause.fill");
    EXPECT_EQ(inkIn(pause, QRect(31, 16, 2, 32)), 0) << "a gap between the bars";
    EXPECT_GT(inkIn(pause, QRect(18, 16, 2, 32)), 50);

    const QImage chevron = symbolImage("chevron.up");
    EXPECT_GT(inkIn(chevron, QRect(28, 18, 8, 6)), 0) << "the point is at the top";
    EXPECT_EQ(inkIn(chevron, QRect(28, 50, 8, 10)), 0);

    // The line jumps' arrows: the head (wide) at the top for the line before, at the bottom for the next.
    const QImage previousLine = symbolImage("text.line.previous");
    const QImage nextLine = symbolImage("text.line.next");
    EXPECT_GT(inkIn(previousLine, QRect(4, 10, 20, 6)), 2 * inkIn(previousLine, QRect(4, 48, 20, 6)));
    EXPECT_GT(inkIn(nextLine, QRect(4, 48, 20, 6)), 2 * inkIn(nextLine, QRect(4, 10, 20, 6)));
}

TEST(SymbolImages, WeightSizeAndIconsDrawTheSameGlyph) {
    EXPECT_GT(ink(symbolImage("z.square", SymbolWeight::heavy)),
              ink(symbolImage("z.square", SymbolWeight::regular)));
    EXPECT_GT(ink(symbolImage("pencil", SymbolWeight::bold)),
              ink(symbolImage("pencil", SymbolWeight::regular)));

    const QPixmap sharp =
        SymbolImages::pixmap("z.square", SymbolConfiguration{27, SymbolWeight::heavy, Qt::black}, 2.0);
    EXPECT_EQ(sharp.size(), QSize(54, 54));
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(27, 27));

    const QIcon icon = SymbolImages::icon("play.fill", QColor(0, 128, 0));
    ASSERT_FALSE(icon.isNull());
    const QImage fromIcon = icon.pixmap(QSize(64, 64), 1.0).toImage();
    EXPECT_LT(differingPixels(fromIcon.convertToFormat(QImage::Format_ARGB32), symbolImage("play.fill")), 10);
    EXPECT_EQ(fromIcon.pixelColor(30, 32).rgb(), QColor(0, 128, 0).rgb());

    // Drawn into a wide box, the glyph stays square and centred.
    QImage wide(128, 64, QImage::Format_ARGB32);
    wide.fill(Qt::transparent);
    QPainter painter(&wide);
    SymbolImages::paint(painter, QRectF(0, 0, 128, 64), "pause.fill", Qt::black);
    painter.end();
    EXPECT_EQ(inkIn(wide, QRect(0, 0, 32, 64)), 0);
    EXPECT_EQ(differingPixels(wide.copy(32, 0, 64, 64), symbolImage("pause.fill")), 0);
}

// The tinted button: the middle of its icon, drawn at 16 × 16.
QColor centre(const QIcon& icon) {
    return icon.pixmap(QSize(16, 16)).toImage().pixelColor(8, 8);
}

TEST(TintedButton, DrawsItsIconInTheTextColourAndLeavesTheSharedIconAlone) {
    EXPECT_TRUE(TintedButton().icon().isNull());

    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    {
        QPainter painter(&picture);
        painter.fillRect(4, 4, 8, 8, Qt::red);
    }
    const QIcon shared(picture);
    TintedButton first(shared, "A"), second(shared, "B");
    QPushButton plain(shared, "C");
    const QColor text = first.palette().color(QPalette::ButtonText);
    ASSERT_NE(text, QColor(Qt::red));
    EXPECT_EQ(centre(first.icon()), text);
    EXPECT_EQ(centre(second.icon()), text);
    EXPECT_EQ(centre(plain.icon()), QColor(Qt::red));
    EXPECT_EQ(centre(shared), QColor(Qt::red));
    EXPECT_EQ(first.icon().pixmap(QSize(16, 16)).toImage().pixelColor(1, 1).alpha(), 0);
}

} // namespace
} // namespace vantle
