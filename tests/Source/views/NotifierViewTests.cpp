// Text and image notices: copies of a template over its parent, their fonts, colours and images,
// and the ease-in fade that removes them, driven by the animation's own clock.

#include "Source/views/ImageNotifierView.h"
#include "Source/views/NoticeFade.h"
#include "Source/views/SystemColors.h"
#include "Source/views/TextNotifierView.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGraphicsOpacityEffect>
#include <QPixmap>
#include <QPointer>
#include <QPropertyAnimation>

#include <gtest/gtest.h>

#include <cmath>

namespace vantle {
namespace {

// The ease-in curve's value at time x, solved directly from its Bézier control points.
double noticeEaseIn(double x) {
    auto bezier = [](double t, double p1, double p2) {
        const double u = 1 - t;
        return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
    };
    double low = 0, high = 1;
    for (int i = 0; i < 60; ++i) {
        const double mid = (low + high) / 2;
        (bezier(mid, 0.42, 1.0) < x ? low : high) = mid;
    }
    return bezier((low + high) / 2, 0.0, 1.0);
}

double opacityOf(QWidget* notice) {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(notice->graphicsEffect());
    return effect ? effect->opacity() : -1.0;
}

void deleteFinishedNotices() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

class NoticeTest : public ::testing::Test {
protected:
    void SetUp() override {
        area.resize(600, 300);
        textTemplate = new TextNotifierView(&area);
        textTemplate->hide();
        imageTemplate = new ImageNotifierView(&area);
        imageTemplate->setGeometry(5, 5, 20, 20);
        imageTemplate->hide();
        area.show();
    }
    void TearDown() override { deleteFinishedNotices(); }

    QWidget area;
    TextNotifierView* textTemplate = nullptr;
    ImageNotifierView* imageTemplate = nullptr;
};

TEST_F(NoticeTest, TextNoticeIsAVisibleCopyOverTheParentInTheGivenColour) {
    const QColor green = systemGreenColor();
    QPointer<TextNotifierView> notice = textTemplate->show(" 1:05", 1.5, green);
    ASSERT_TRUE(notice);
    EXPECT_NE(notice.data(), textTemplate);
    EXPECT_EQ(notice->geometry(), area.rect());
    EXPECT_TRUE(notice->isVisible()) << "unhidden although the template is hidden";
    EXPECT_EQ(notice->palette().color(QPalette::WindowText), green);
    EXPECT_EQ(textTemplate->fadeAnimation(), nullptr);

    QPointer<TextNotifierView> plain = textTemplate->show("note", 1.0);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->palette().color(QPalette::WindowText), *namedColor("notifierForeground"));
}

TEST_F(NoticeTest, EmptyTextsAndOrphanTemplatesShowNothing) {
    const auto before = area.children().size();
    EXPECT_EQ(textTemplate->show("", 1.0), nullptr);
    EXPECT_EQ(area.children().size(), before);
    TextNotifierView orphan;
    EXPECT_EQ(orphan.show("5", 1.0), nullptr);
}

TEST_F(NoticeTest, TextFadesEaseInOverItsDurationAndIsThenRemoved) {
    QPointer<TextNotifierView> notice = textTemplate->show("10", 1.5);
    ASSERT_TRUE(notice);
    QVariantAnimation* fade = notice->fadeAnimation();
    ASSERT_NE(fade, nullptr);
    EXPECT_EQ(fade->duration(), 1500);
    EXPECT_DOUBLE_EQ(opacityOf(notice), 1.0) << "no fade-in: full opacity at once";

    for (int ms : {300, 750, 1450}) {
        fade->setCurrentTime(ms);
        EXPECT_NEAR(opacityOf(notice), 1.0 - noticeEaseIn(ms / 1500.0), 2e-3) << ms << " ms";
    }

    fade->setCurrentTime(1500);
    deleteFinishedNotices();
    EXPECT_TRUE(notice.isNull());
    EXPECT_TRUE(textTemplate) << "the template stays";
}

TEST_F(NoticeTest, OverlappingNoticesStackNewestOnTopAndFadeOnTheirOwn) {
    QPointer<TextNotifierView> older = textTemplate->show("1", 1.0);
    QPointer<TextNotifierView> newer = textTemplate->show("2", 1.5);
    ASSERT_TRUE(older && newer);
    const QObjectList& stack = area.children();
    EXPECT_GT(stack.indexOf(newer.data()), stack.indexOf(older.data()));

    older->fadeAnimation()->setCurrentTime(1000);
    newer->fadeAnimation()->setCurrentTime(1000);
    deleteFinishedNotices();
    EXPECT_TRUE(older.isNull());
    ASSERT_TRUE(newer);
    EXPECT_GT(opacityOf(newer), 0.0);
}

TEST(NoticeFont, FitsTheAreaLessItsMarginWithinBounds) {
    // A text measuring 60 x 15 at 12 points in a 600 x 300 area: min(595 / 60, 295 / 11.55) = 9.9167.
    EXPECT_NEAR(TextNotifierView::fittedPointSize(QSizeF(60, 15), QSizeF(600, 300)), 119.0, 1e-9);
    // Height-limited: a short text in a wide area.
    EXPECT_NEAR(TextNotifierView::fittedPointSize(QSizeF(10, 15), QSizeF(600, 100)), 12 * 95 / 11.55, 1e-9);
    // An area smaller than the margin, or a text that measures nothing, still gives a usable font.
    EXPECT_EQ(TextNotifierView::fittedPointSize(QSizeF(60, 15), QSizeF(4, 4)),
              TextNotifierView::minimumPointSize);
    EXPECT_EQ(TextNotifierView::fittedPointSize(QSizeF(0, 0), QSizeF(600, 300)),
              TextNotifierView::maximumPointSize);

    // Only the base font's family and weight count, not its size.
    QFont base = TextNotifierView::noticeBaseFont();
    const QFont fitted = TextNotifierView::fittedFont("12:34", base, QSizeF(600, 300));
    base.setPointSizeF(7);
    EXPECT_DOUBLE_EQ(TextNotifierView::fittedFont("12:34", base, QSizeF(600, 300)).pointSizeF(),
                     fitted.pointSizeF());
    // The text then fills the area's width or height, less the margin.
    const QFontMetricsF metrics(fitted);
    const double widthShare = metrics.horizontalAdvance("12:34") / 595.0;
    const double heightShare = 0.77 * metrics.height() / 295.0;
    EXPECT_LT(std::max(widthShare, heightShare), 1.08);
    EXPECT_GT(std::max(widthShare, heightShare), 0.92);
}

TEST(NoticeFont, CopiesUseTheFittedFont) {
    QWidget area;
    area.resize(600, 300);
    auto* notice = (new TextNotifierView(&area))->show("5½", 1.0);
    ASSERT_NE(notice, nullptr);
    EXPECT_DOUBLE_EQ(notice->font().pointSizeF(),
                     TextNotifierView::fittedFont("5½", TextNotifierView::noticeBaseFont(), QSizeF(600, 300))
                         .pointSizeF());
    EXPECT_TRUE(notice->font().bold());
    notice->fadeAnimation()->setCurrentTime(1000);
    deleteFinishedNotices();
}

// Where a notice's text leaves ink: the columns and rows of the first and last pixels that are
// not the background.
struct InkBounds {
    int left = -1, right = -1, top = -1, bottom = -1;
    bool any() const { return left >= 0; }
};

InkBounds inkOf(QWidget& notice) {
    const QImage image = notice.grab().toImage();
    const QColor background = image.pixelColor(0, 0);
    InkBounds ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == background) continue;
            if (!ink.any()) ink = {x, x, y, y};
            ink.left = std::min(ink.left, x);
            ink.right = std::max(ink.right, x);
            ink.top = std::min(ink.top, y);
            ink.bottom = std::max(ink.bottom, y);
        }
    return ink;
}

TEST(NoticeFont, LongNoticesAreShownWholeInAReadableSize) {
    const QString missing =
        QString::fromUtf8("File not found: /home/teacher/Music/Latin Night/Moo – Samba.flac — Entry › File "
                          "Moved… can relocate it");
    const QString unbroken = QString(TextNotifierView::longestShownText + 500, QChar('w'));
    const struct {
        QString text;
        QSize band;
        double smallestPixels; // the least font height that still reads
    } cases[] = {
        {missing, {1200, 72}, 16},
        {missing, {700, 72}, 12},
        {missing, {420, 72}, 9},
        // No word boundary to wrap at: broken within the word, and cut short.
        {QString(120, QChar('m')), {500, 72}, 9},
        {unbroken, {800, 72}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.left(20).toStdString() + " in " + std::to_string(c.band.width()));
        QWidget area;
        area.resize(c.band);
        auto* notice = (new TextNotifierView(&area))->show(c.text, 1.0);
        ASSERT_NE(notice, nullptr);
        const InkBounds ink = inkOf(*notice);
        ASSERT_TRUE(ink.any());
        // Nothing runs into an edge of the band, where it would be cut off.
        EXPECT_GT(ink.left, 0);
        EXPECT_LT(ink.right, c.band.width() - 1);
        EXPECT_GT(ink.top, 0);
        EXPECT_LT(ink.bottom, c.band.height() - 1);
        EXPECT_GE(QFontMetricsF(notice->font()).height(), c.smallestPixels);
        EXPECT_LE(notice->text().size(), TextNotifierView::longestShownText + 1);
    }
    // Short texts keep to one line, as large as the band allows.
    QWidget band;
    band.resize(700, 72);
    auto* position = (new TextNotifierView(&band))->show(" 1:05", 1.0);
    ASSERT_NE(position, nullptr);
    EXPECT_DOUBLE_EQ(
        position->font().pointSizeF(),
        TextNotifierView::fittedFont(" 1:05", TextNotifierView::noticeBaseFont(), QSizeF(700, 72))
            .pointSizeF());
}

// A long notice is cut between characters, never inside one written as two UTF-16 units.
TEST(NoticeFont, ALongNoticeIsCutWholeCharactersFirst) {
    const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\xB5"); // a note symbol beyond the BMP
    for (int before : {TextNotifierView::longestShownText - 1, TextNotifierView::longestShownText - 2}) {
        SCOPED_TRACE(before);
        const QString text = QString(before, QChar('a')) + emoji + QString(50, QChar('b'));
        QWidget area;
        area.resize(800, 72);
        auto* notice = (new TextNotifierView(&area))->show(text, 1.0);
        ASSERT_NE(notice, nullptr);
        const QString shown = notice->text();
        ASSERT_TRUE(shown.endsWith(QChar(0x2026)));
        EXPECT_TRUE(text.startsWith(shown.chopped(1)));
        EXPECT_FALSE(shown.chopped(1).back().isHighSurrogate()) << "half a character left at the cut";
    }
}

QIcon solidIcon(int width, int height, const QColor& color) {
    QPixmap pixmap(width, height);
    pixmap.fill(color);
    return QIcon(pixmap);
}

TEST(NoticeImage, SquaredImageStretchesIntoTheCentredSquare) {
    // A 400 x 300 area: a 300 x 300 square at (50, 0) in a transparent 400 x 300 image, whatever
    // the image's own shape.
    const QImage squared = ImageNotifierView::squaredImage(solidIcon(40, 10, Qt::red), 400, 300);
    ASSERT_EQ(squared.size(), QSize(400, 300));
    EXPECT_EQ(qAlpha(squared.pixel(49, 150)), 0);
    EXPECT_EQ(qAlpha(squared.pixel(350, 150)), 0);
    for (QPoint inside : {QPoint(50, 150), QPoint(349, 150), QPoint(200, 0), QPoint(200, 299)})
        EXPECT_EQ(squared.pixelColor(inside), QColor(Qt::red)) << inside.x() << "," << inside.y();

    // Sizes are truncated to whole pixels; nothing below one pixel.
    EXPECT_EQ(ImageNotifierView::squaredImage(solidIcon(4, 4, Qt::red), 10.9, 20.5).size(), QSize(10, 20));
    EXPECT_TRUE(ImageNotifierView::squaredImage(solidIcon(4, 4, Qt::red), 0.5, 20).isNull());
}

TEST(NoticeImage, TintKeepsTheShapeAndTakesTheColour) {
    QImage shape(2, 1, QImage::Format_ARGB32);
    shape.setPixelColor(0, 0, QColor(255, 0, 0, 255));
    shape.setPixelColor(1, 0, QColor(0, 0, 0, 0));
    const QImage tinted = ImageNotifierView::tintedImage(shape, QColor(10, 200, 30));
    EXPECT_EQ(tinted.pixelColor(0, 0), QColor(10, 200, 30));
    EXPECT_EQ(tinted.pixelColor(1, 0).alpha(), 0);
}

TEST_F(NoticeTest, ImageNoticeCoversTheParentInTheForegroundColourAndFadesInOneSecond) {
    EXPECT_EQ(imageTemplate->show(QIcon()), nullptr);

    QPointer<ImageNotifierView> notice = imageTemplate->show(solidIcon(8, 8, Qt::red));
    ASSERT_TRUE(notice);
    EXPECT_EQ(imageTemplate->geometry(), area.rect()) << "the template follows its parent";
    EXPECT_EQ(notice->geometry(), area.rect());
    EXPECT_TRUE(notice->isVisible());
    ASSERT_EQ(notice->image().size(), QSize(600, 300));
    EXPECT_EQ(qAlpha(notice->image().pixel(100, 150)), 0);
    EXPECT_EQ(notice->image().pixelColor(300, 150), *namedColor("notifierForeground"));

    QVariantAnimation* fade = notice->fadeAnimation();
    ASSERT_NE(fade, nullptr);
    EXPECT_EQ(fade->duration(), 1000);
    EXPECT_EQ(fade->easingCurve(), noticeFadeCurve()); // whose course the text notice pins
    fade->setCurrentTime(1000);
    deleteFinishedNotices();
    EXPECT_TRUE(notice.isNull());
}

TEST(NoticeFade, NonsenseLengthsFadeAtOnce) {
    QWidget area;
    auto* notice = new QWidget(&area);
    QPropertyAnimation* fade = startNoticeFade(*notice, std::nan(""));
    EXPECT_EQ(fade->duration(), 0);
    QWidget other;
    EXPECT_EQ(startNoticeFade(other, -3)->duration(), 0);
}

} // namespace
} // namespace vantle
