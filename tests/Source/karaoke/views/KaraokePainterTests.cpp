// The karaoke frame as drawn: the lit line wiped in the sung colour, the countdown, the key, the
// picture scaled with whole pixels, and only what changed reported for redrawing.

#include "Source/karaoke/views/KaraokePainter.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace vantle {
namespace {

bool nearColour(QRgb pixel, const QColor& colour, int tolerance = 40) {
    return std::abs(qRed(pixel) - colour.red()) < tolerance &&
           std::abs(qGreen(pixel) - colour.green()) < tolerance &&
           std::abs(qBlue(pixel) - colour.blue()) < tolerance;
}

// The pixels of `image` within `box` close to `colour`, and their bounding box.
struct Ink {
    int count = 0;
    QRect bounds;
};

Ink inkOf(const QImage& image, const QColor& colour, QRect box = {}, int tolerance = 40) {
    if (box.isNull()) box = image.rect();
    Ink ink;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (nearColour(image.pixel(x, y), colour, tolerance)) {
                ++ink.count;
                ink.bounds |= QRect(x, y, 1, 1);
            }
    return ink;
}

Lyrics songLyrics(std::vector<std::string> texts) {
    Lyrics lyrics;
    lyrics.source = Lyrics::Source::lrc;
    double time = 5;
    for (std::string& text : texts) {
        lyrics.lines.push_back(LyricLine{time, std::move(text), {}, std::nullopt});
        time += 4;
    }
    return lyrics;
}

KaraokeFrame litFrame(const Lyrics& lyrics, int line, double fraction, KaraokeFrame::Look look) {
    KaraokeFrame frame;
    frame.look = look;
    frame.lyrics = &lyrics;
    frame.moment.line = line;
    frame.moment.litFraction = fraction;
    return frame;
}

const QColor accent(255, 200, 40);
const QColor dim(110, 110, 110);

TEST(KaraokePainter, TheLitLineIsWipedFromTheLeftAsItIsSung) {
    const Lyrics lyrics =
        songLyrics({"The line before this one", "Sing this line now", "And the next one", "And one more"});
    KaraokePainter painter;
    int previous = -1;
    for (double fraction : {0.0, 0.25, 0.5, 1.0}) {
        const QImage frame =
            painter.render(QSize(960, 540), litFrame(lyrics, 1, fraction, KaraokeFrame::Look::panel));
        const Ink sung = inkOf(frame, KaraokePainter::sungColour());
        EXPECT_GT(sung.count, previous) << "at " << fraction;
        if (fraction == 0.0) {
            EXPECT_EQ(sung.count, 0);
        }
        if (fraction == 0.5) {
            // Unsung white remains right of the wipe, on the same rows.
            const Ink unsung = inkOf(frame, KaraokePainter::unsungColour(),
                                     QRect(sung.bounds.right() + 1, sung.bounds.top(),
                                           960 - sung.bounds.right() - 1, sung.bounds.height()));
            EXPECT_GT(unsung.count, 50);
            EXPECT_LT(sung.bounds.right(), 700);
        }
        // The line before is dimmed above the lit one.
        const Ink before = inkOf(frame, dim, QRect(0, 0, 960, 270));
        EXPECT_GT(before.count, 50) << "at " << fraction;
        previous = sung.count;
    }
}

TEST(KaraokePainter, TheWipeStaysInTheRowBeingSung) {
    const Lyrics lyrics = songLyrics({"Together road love fire road sun road home sky road",
                                      "Forever rain heart river moon", "Road dance again love"});
    KaraokePainter painter;
    const int firstRowBottom =
        inkOf(painter.render(QSize(1280, 720), litFrame(lyrics, 0, 0.02, KaraokeFrame::Look::singers)),
              KaraokePainter::sungColour())
            .bounds.bottom();
    for (double fraction : {0.02, 0.07, 0.2, 0.4}) {
        const QImage frame =
            painter.render(QSize(1280, 720), litFrame(lyrics, 0, fraction, KaraokeFrame::Look::singers));
        const Ink sung = inkOf(frame, KaraokePainter::sungColour());
        const Ink white = inkOf(frame, KaraokePainter::unsungColour());
        ASSERT_GT(sung.count, 0) << fraction;
        // Still in the first row: nothing sung below it, nor right of the text.
        EXPECT_LE(sung.bounds.bottom(), firstRowBottom + 30) << fraction;
        EXPECT_LE(sung.bounds.right(), white.bounds.right()) << fraction;
    }
}

TEST(KaraokePainter, LongLinesWrapAndTextGrowsWithTheSpace) {
    const Lyrics lyrics =
        songLyrics({"Short", "This is a very long line of a song that goes on and on across "
                             "the whole screen and further still"});
    KaraokePainter painter;
    const Ink shortLine =
        inkOf(painter.render(QSize(1920, 1080), litFrame(lyrics, 0, 1.0, KaraokeFrame::Look::singers)),
              KaraokePainter::sungColour());
    const Ink longLine =
        inkOf(painter.render(QSize(1920, 1080), litFrame(lyrics, 1, 1.0, KaraokeFrame::Look::singers)),
              KaraokePainter::sungColour());
    EXPECT_GT(longLine.bounds.height(), shortLine.bounds.height() * 18 / 10) << "wrapped onto a second row";
    EXPECT_LE(longLine.bounds.right(), 1920);

    const Ink smaller =
        inkOf(painter.render(QSize(960, 540), litFrame(lyrics, 0, 1.0, KaraokeFrame::Look::singers)),
              KaraokePainter::sungColour());
    EXPECT_NEAR(double(shortLine.bounds.height()) / smaller.bounds.height(), 2.0, 0.25);
}

// Ordinary song lines of about 30 characters that wrap: the next line is always drawn whole below the
// lit one, on the singers' screen as on panels of several shapes.
TEST(KaraokePainter, TheNextLineIsAlwaysShownWrappedIfNeedBe) {
    const std::string line = "Somewhere over the rainbow, way";
    const Lyrics lyrics = songLyrics({line, line, line, line, line});
    const QColor next(200, 200, 200);
    const struct {
        QSize size;
        KaraokeFrame::Look look;
    } surfaces[] = {{{1920, 1080}, KaraokeFrame::Look::singers},
                    {{1280, 720}, KaraokeFrame::Look::singers},
                    {{600, 800}, KaraokeFrame::Look::panel},
                    {{420, 700}, KaraokeFrame::Look::panel},
                    {{960, 540}, KaraokeFrame::Look::panel}};
    for (const auto& surface : surfaces) {
        KaraokePainter painter;
        // The same words lit but not yet sung, and waiting next: as much ink of each.
        const QImage frame = painter.render(surface.size, litFrame(lyrics, 2, 0.0, surface.look));
        const Ink lit = inkOf(frame, KaraokePainter::unsungColour(), {}, 20);
        const Ink following = inkOf(frame, next, {}, 20);
        EXPECT_GT(lit.count, 500) << surface.size.width() << "x" << surface.size.height();
        EXPECT_GT(following.count, lit.count * 9 / 10)
            << surface.size.width() << "x" << surface.size.height();
    }
}

TEST(KaraokePainter, CountdownDotsAndTheKeyShowInTheAccentColour) {
    const Lyrics lyrics = songLyrics({"First line", "Second line"});
    KaraokePainter painter;
    int previous = 1 << 30;
    for (int dots : {3, 2, 1, 0}) {
        KaraokeFrame frame = litFrame(lyrics, -1, 0, KaraokeFrame::Look::singers);
        frame.moment.countdownDots = dots;
        const int lit = inkOf(painter.render(QSize(960, 540), frame), accent).count;
        EXPECT_LT(lit, previous) << dots << " dots";
        if (dots == 0) {
            EXPECT_EQ(lit, 0);
        }
        previous = lit;
    }

    const struct {
        int keyShift;
        bool shown;
    } keys[] = {{0, false}, {2, true}, {-3, true}};
    for (const auto& key : keys) {
        KaraokeFrame frame = litFrame(lyrics, 0, 0.5, KaraokeFrame::Look::panel);
        frame.keyShift = key.keyShift;
        const QImage image = painter.render(QSize(960, 540), frame);
        EXPECT_EQ(inkOf(image, accent, QRect(640, 0, 320, 60)).count > 20, key.shown) << key.keyShift;
    }
}

// A checkerboard of two colours, one pixel a square, in a border of a third.
CdgScreen checkerboard() {
    CdgScreen screen;
    screen.colours[1] = 0xff0000;
    screen.colours[2] = 0x00ff00;
    screen.colours[3] = 0x0000ff;
    for (int y = 0; y < CdgScreen::height; ++y)
        for (int x = 0; x < CdgScreen::width; ++x) {
            const bool border = x < 6 || x >= 294 || y < 12 || y >= 204;
            screen.pixels[y * CdgScreen::width + x] = border ? 3 : ((x + y) % 2 ? 1 : 2);
        }
    screen.borderColour = 3;
    return screen;
}

TEST(KaraokePainter, ThePictureFillsTheSpaceInItsShapeWithWholePixels) {
    const CdgScreen screen = checkerboard();
    KaraokePainter painter;
    KaraokeFrame frame;
    frame.picture = &screen;

    // Three times the disc's size: every drawn pixel is one of the picture's colours, in 3 × 3 blocks.
    const QImage tripled = painter.render(QSize(900, 648), frame);
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255);
    int blended = 0;
    for (int y = 0; y < 648; ++y)
        for (int x = 0; x < 900; ++x) {
            const QRgb pixel = tripled.pixel(x, y) | 0xff000000;
            if (pixel != red && pixel != green && pixel != blue) ++blended;
        }
    EXPECT_EQ(blended, 0) << "no smoothing between the disc's pixels";
    EXPECT_EQ(tripled.pixel(3 * 20, 3 * 30), tripled.pixel(3 * 20 + 2, 3 * 30 + 2));
    EXPECT_NE(tripled.pixel(3 * 20, 3 * 30), tripled.pixel(3 * 21, 3 * 30));

    // A wide space: the picture keeps its shape, centred between bands of the background.
    const QImage wide = painter.render(QSize(1000, 500), frame);
    const int width = 300 * 500 / 216;
    const int left = (1000 - width) / 2;
    EXPECT_EQ(QColor(wide.pixel(left / 2, 250)), KaraokePainter::background(KaraokeFrame::Look::panel));
    EXPECT_EQ(wide.pixel(left + 5, 250) | 0xff000000, blue) << "the border, drawn in its colour";

    // On the singers' screen the border and the transparent colour are dark.
    KaraokePainter singers;
    CdgScreen clear = screen;
    clear.transparentColour = 1;
    frame.picture = &clear;
    frame.look = KaraokeFrame::Look::singers;
    const QImage dark = singers.render(QSize(900, 648), frame);
    EXPECT_EQ(dark.pixel(5, 5) | 0xff000000, qRgb(0, 0, 0));
    int redLeft = 0;
    for (int y = 40; y < 600; ++y)
        for (int x = 30; x < 870; ++x)
            redLeft += (dark.pixel(x, y) | 0xff000000) == red;
    EXPECT_EQ(redLeft, 0);
}

TEST(KaraokePainter, OnlyWhatChangedIsReported) {
    const Lyrics lyrics = songLyrics({"One line", "A second line that is sung now", "Third", "Fourth"});
    const QRect area(0, 0, 960, 540);
    KaraokePainter painter;
    EXPECT_EQ(painter.prepare(area, litFrame(lyrics, 1, 0.2, KaraokeFrame::Look::panel)), area);
    EXPECT_TRUE(painter.prepare(area, litFrame(lyrics, 1, 0.2, KaraokeFrame::Look::panel)).isEmpty());
    EXPECT_TRUE(painter.prepare(area, litFrame(lyrics, 1, 0.2001, KaraokeFrame::Look::panel)).isEmpty())
        << "less than a pixel of wipe";
    const QRect wipe = painter.prepare(area, litFrame(lyrics, 1, 0.4, KaraokeFrame::Look::panel));
    EXPECT_FALSE(wipe.isEmpty());
    EXPECT_LT(wipe.height(), area.height() / 3) << "the lit line only";
    EXPECT_EQ(painter.prepare(area, litFrame(lyrics, 2, 0.0, KaraokeFrame::Look::panel)), area);

    CdgScreen screen = checkerboard();
    KaraokeFrame picture;
    picture.picture = &screen;
    EXPECT_EQ(painter.prepare(area, picture), area);
    EXPECT_TRUE(painter.prepare(area, picture).isEmpty());
    // The surface as a window keeps it: painted whole once, then only where told.
    QImage surface(area.size(), QImage::Format_RGB32);
    auto repaint = [&](const QRect& part) {
        QPainter onto(&surface);
        painter.paint(onto, part);
    };
    repaint(area);
    // A tile redrawn is repainted where it shows, scaled (2.5 x here), not the whole picture; new
    // colours are.
    screen.pixels[100 * CdgScreen::width + 100] = 3;
    const QRect changed = painter.prepare(area, picture);
    EXPECT_FALSE(changed.isEmpty());
    EXPECT_TRUE(area.contains(changed));
    EXPECT_LE(changed.width() * changed.height(), 8 * 8) << changed.width() << "x" << changed.height();
    repaint(changed);
    KaraokePainter fresh;
    EXPECT_EQ(surface, fresh.render(area.size(), picture));
    screen.colours[3] = 0x00FF00;
    EXPECT_GE(painter.prepare(area, picture).width(), 300 * 2);
}

// A surface painted at another size than its frame was laid out for (resized, or shown again on a wider
// screen, before its next frame) shows its background, never the old layout: that put the lit line over
// the next one until the wipe moved. The next frame for its size draws it whole.
TEST(KaraokePainter, AFrameLaidOutForAnotherSizeIsNeverPainted) {
    const Lyrics lyrics = songLyrics(
        {"The line before this one", "Sing this line now, paused here", "And the next one", "And one more"});
    KaraokePainter painter;
    const KaraokeFrame paused = litFrame(lyrics, 1, 0.5, KaraokeFrame::Look::singers);
    painter.prepare(QRect(0, 0, 1280, 720), paused);
    QImage wider(1920, 1080, QImage::Format_RGB32);
    wider.fill(Qt::red);
    {
        QPainter onto(&wider);
        EXPECT_FALSE(painter.paint(onto, wider.rect())) << "a frame for the new size is wanted";
    }
    EXPECT_EQ(inkOf(wider, KaraokePainter::background(KaraokeFrame::Look::singers)).count, 1920 * 1080);

    EXPECT_EQ(painter.prepare(wider.rect(), paused), wider.rect());
    {
        QPainter onto(&wider);
        EXPECT_TRUE(painter.paint(onto, wider.rect()));
    }
    EXPECT_EQ(wider, painter.render(wider.size(), paused));
}

TEST(KaraokePainter, AMessageIsDrawnAndNothingIsDark) {
    KaraokePainter painter;
    KaraokeFrame frame;
    frame.look = KaraokeFrame::Look::singers;
    EXPECT_EQ(inkOf(painter.render(QSize(640, 360), frame), KaraokePainter::background(frame.look)).count,
              640 * 360);
    frame.message = QStringList{QStringLiteral("Next:"), QStringLiteral("A Song")};
    EXPECT_GT(inkOf(painter.render(QSize(640, 360), frame), KaraokePainter::unsungColour()).count, 200);
}

} // namespace
} // namespace vantle

namespace vantle {
namespace {

// The host's line lies along the bottom edge under lyrics, a picture or "Next:", and what is shown above
// it keeps clear of it; a line too long for the width is cut, never drawn past the edges.
TEST(KaraokePainter, TheHostsLineRunsAlongTheBottomUnderAnything) {
    const Lyrics lyrics = songLyrics({"One line sung", "The next line", "And one more"});
    const CdgScreen screen = checkerboard();
    const QSize size(1280, 720);
    const int band = size.height() - size.height() / 12;
    struct Case {
        const char* what;
        KaraokeFrame frame;
    };
    std::vector<Case> cases;
    cases.push_back({"lyrics", litFrame(lyrics, 1, 0.5, KaraokeFrame::Look::singers)});
    KaraokeFrame picture;
    picture.look = KaraokeFrame::Look::singers;
    picture.picture = &screen;
    cases.push_back({"a picture", picture});
    KaraokeFrame next;
    next.look = KaraokeFrame::Look::singers;
    next.message = {"Next: Ann — Jolene", "Then: Bob — 9 to 5"};
    cases.push_back({"who comes next", next});
    for (Case& c : cases) {
        for (const QString& line : {QStringLiteral("Wi-Fi: vantle2026 · two for one until nine"),
                                    QString(400, QLatin1Char('W'))}) {
            c.frame.ticker = line;
            KaraokePainter painter;
            const QImage image = painter.render(size, c.frame);
            const Ink ink = inkOf(image, accent, QRect(0, band, size.width(), size.height() - band), 10);
            EXPECT_GT(ink.count, 200) << c.what;
            EXPECT_GT(ink.bounds.left(), 0) << c.what;
            EXPECT_LT(ink.bounds.right(), size.width() - 1) << c.what;
            // Nothing of the frame itself in the band: only the line's own colours.
            int other = 0;
            for (int y = band; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x) {
                    const QRgb pixel = image.pixel(x, y);
                    other += nearColour(pixel, QColor(255, 0, 0), 10) ||
                             nearColour(pixel, QColor(0, 255, 0), 10) ||
                             nearColour(pixel, KaraokePainter::unsungColour(), 10);
                }
            EXPECT_EQ(other, 0) << c.what;
        }
        c.frame.ticker.clear();
        KaraokePainter painter;
        const QRect bottom(0, band, size.width(), size.height() - band);
        EXPECT_EQ(inkOf(painter.render(size, c.frame), accent, bottom, 10).count, 0)
            << c.what << ": no line, no band";
    }
}

} // namespace
} // namespace vantle
