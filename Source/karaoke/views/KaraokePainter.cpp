#include "Source/karaoke/views/KaraokePainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

namespace vantle {

namespace {

// Row budget of a lyrics frame in lines of the chosen font: the countdown's band, the line before,
// the lit line wrapped once and the next lines.
constexpr double karaokeRowBudget = 7.0;
// The longest line may take two rows and a half at the chosen size: a size for the longest alone
// would leave every other line small.
constexpr double karaokeWrappedRows = 2.5;
constexpr int karaokeSmallestPixels = 10;
constexpr int karaokeLargestPixels = 400;

QFont karaokeFont(int pixels) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
    font.setPixelSize(std::max(1, pixels));
    return font;
}

QColor karaokeDimColour() {
    return QColor(110, 110, 110);
}

QColor karaokeNextColour() {
    return QColor(200, 200, 200);
}

QColor karaokeAccentColour() {
    return QColor(255, 200, 40);
}

// An instrumental break is a timed empty line: it still takes its place, as a note sign.
QString karaokeLineText(const LyricLine& line) {
    QString text = QString::fromStdString(line.text).trimmed();
    return text.isEmpty() ? QStringLiteral("♪") : text;
}

std::unique_ptr<QTextLayout> karaokeLayOut(const QString& text, const QFont& font, qreal width) {
    auto layout = std::make_unique<QTextLayout>(text, font);
    QTextOption option(Qt::AlignHCenter);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    qreal y = 0;
    for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine()) {
        row.setLineWidth(width);
        row.setPosition(QPointF(0, y));
        y += row.height();
    }
    layout->endLayout();
    return layout;
}

qreal karaokeLayoutHeight(const QTextLayout& layout) {
    return layout.lineCount() ? layout.lineAt(layout.lineCount() - 1).rect().bottom() : 0.0;
}

// The part of the shown 300 x 216 picture that differs between two screens of the same colours and
// offsets; nullopt when those differ (everything may look different).
std::optional<QRect> changedCdgPixels(const CdgScreen& before, const CdgScreen& after) {
    if (before.borderColour != after.borderColour || before.transparentColour != after.transparentColour ||
        before.hOffset != after.hOffset || before.vOffset != after.vOffset || before.colours != after.colours)
        return std::nullopt;
    int left = CdgScreen::width, top = CdgScreen::height, right = -1, bottom = -1;
    for (int y = 0; y < CdgScreen::height; ++y) {
        const std::uint8_t* a = before.pixels.data() + std::size_t(y) * CdgScreen::width;
        const std::uint8_t* b = after.pixels.data() + std::size_t(y) * CdgScreen::width;
        if (std::memcmp(a, b, CdgScreen::width) == 0) continue;
        top = std::min(top, y);
        bottom = y;
        for (int x = 0; x < CdgScreen::width; ++x)
            if (a[x] != b[x]) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    }
    if (right < 0) return QRect();
    // Inside the border a memory pixel shows shifted by the offsets; in the ring, where it is.
    const QRect memory(QPoint(left, top), QPoint(right, bottom));
    return (memory | memory.translated(-after.hOffset, -after.vOffset))
        .intersected(QRect(0, 0, CdgScreen::width, CdgScreen::height));
}

bool sameCdgScreen(const CdgScreen& a, const CdgScreen& b) {
    return a.borderColour == b.borderColour && a.transparentColour == b.transparentColour &&
           a.hOffset == b.hOffset && a.vOffset == b.vOffset && a.colours == b.colours &&
           std::memcmp(a.pixels.data(), b.pixels.data(), a.pixels.size()) == 0;
}

// The ticker's band: a line of text readable across a room, a small share of the height.
int tickerBandHeight(int height) {
    return std::clamp(height / 12, 14, 96);
}

QString keyShiftText(int keyShift) {
    return QStringLiteral("Key %1%2")
        .arg(keyShift > 0 ? QStringLiteral("+") : QStringLiteral("−"))
        .arg(std::abs(keyShift));
}

} // namespace

KaraokePainter::KaraokePainter() = default;
KaraokePainter::~KaraokePainter() = default;

QColor KaraokePainter::background(KaraokeFrame::Look look) {
    return look == KaraokeFrame::Look::singers ? QColor(0, 0, 0) : QColor(28, 28, 30);
}

QColor KaraokePainter::sungColour() {
    return QColor(60, 170, 255);
}

QColor KaraokePainter::unsungColour() {
    return QColor(255, 255, 255);
}

QRect KaraokePainter::prepare(const QRect& area, const KaraokeFrame& frame) {
    const bool withPicture = frame.picture != nullptr;
    const bool withLyrics = !withPicture && frame.lyrics && !frame.lyrics->lines.empty();
    BaseKey key;
    key.size = area.size();
    key.generation = frame.generation;
    key.keyShift = frame.keyShift;
    key.look = frame.look;
    key.picture = withPicture;
    key.line = withLyrics ? frame.moment.line : -2;
    key.dots = withLyrics ? frame.moment.countdownDots : 0;
    if (!withPicture && !withLyrics) key.message = frame.message;
    key.ticker = frame.ticker;

    const bool moved = area.topLeft() != whole_.topLeft();
    whole_ = area;
    area_ = area;
    if (!frame.ticker.isEmpty())
        area_.setHeight(std::max(1, area.height() - tickerBandHeight(area.height())));
    if (!(key == baseKey_) || moved) {
        const bool lookChanged = key.look != baseKey_.look || key.generation != baseKey_.generation;
        baseKey_ = key;
        if (lookChanged) hasScreen_ = false;
        litFraction_ = withLyrics ? frame.moment.litFraction : 0.0;
        buildBase(frame);
        if (withPicture) takePicture(*frame.picture, frame.look);
        wipeSignature_ = -1;
        for (const QRectF& part : wipeRects(litFraction_))
            wipeSignature_ += static_cast<int>(std::lround(part.width()));
        return area;
    }
    if (withPicture) return takePicture(*frame.picture, frame.look);
    if (!litLayout_) return {};
    litFraction_ = frame.moment.litFraction;
    // The wipe is redrawn when it moved by a whole pixel, not at every change of the fraction.
    int signature = -1;
    for (const QRectF& part : wipeRects(litFraction_))
        signature += static_cast<int>(std::lround(part.width()));
    if (signature == wipeSignature_) return {};
    wipeSignature_ = signature;
    // The lit line's band across the whole width: a part of a row narrower than the window came out
    // of the X server with pixels of the next row beside it.
    return QRect(area_.left(), area_.top() + litBounds_.top(), area_.width(), litBounds_.height());
}

bool KaraokePainter::paint(QPainter& painter, const QRect& clip) const {
    const QPaintDevice* surface = painter.device();
    if (surface && QRect(0, 0, surface->width(), surface->height()) != whole_) {
        painter.fillRect(clip, background(baseKey_.look));
        return false;
    }
    const QRect part = clip.intersected(whole_);
    if (part.isEmpty() || base_.isNull()) return true;
    painter.drawImage(part, base_, part.translated(-whole_.topLeft()));
    if (baseKey_.picture) {
        if (picture_.isNull()) return true;
        painter.save();
        painter.setClipRect(part);
        // Whole pixels of the disc, never blurred into one another.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QRectF(pictureTarget()), picture_);
        painter.restore();
        if (baseKey_.keyShift != 0) {
            painter.save();
            painter.setClipRect(part);
            drawKeyShift(painter, baseKey_.keyShift, baseKey_.look);
            painter.restore();
        }
        return true;
    }
    if (!litLayout_) return true;
    for (const QRectF& lit : wipeRects(litFraction_)) {
        const QRectF shown = lit.translated(area_.topLeft()).intersected(QRectF(part));
        if (shown.isEmpty()) continue;
        painter.drawImage(shown, litLayer_, shown.translated(-QPointF(litOrigin_ + area_.topLeft())));
    }
    return true;
}

QImage KaraokePainter::render(const QSize& size, const KaraokeFrame& frame) {
    prepare(QRect(QPoint(), size), frame);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    paint(painter, QRect(QPoint(), size));
    return image;
}

void KaraokePainter::buildBase(const KaraokeFrame& frame) {
    litLayout_.reset();
    litLayer_ = QImage();
    litCharStarts_.clear();
    litBounds_ = QRect();
    base_ = QImage(whole_.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    base_.fill(background(frame.look));
    QPainter painter(&base_);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (!frame.ticker.isEmpty()) drawTicker(painter, frame.ticker);
    if (frame.picture) return;
    if (frame.lyrics && !frame.lyrics->lines.empty())
        drawLyrics(painter, frame);
    else
        drawMessage(painter, frame.message, frame.look);
    if (frame.keyShift != 0) drawKeyShift(painter, frame.keyShift, frame.look);
}

int KaraokePainter::fontPixelSize(const Lyrics& lyrics) const {
    if (sizedGeneration_ == baseKey_.generation && sizedFor_ == area_.size()) return sizedPixels_;
    // Measured once at 100 px: the advance of a line grows with the font's size.
    const QFontMetricsF metrics(karaokeFont(100));
    qreal widest = 0;
    for (const LyricLine& line : lyrics.lines)
        widest = std::max(widest, metrics.horizontalAdvance(karaokeLineText(line)));
    const double width = area_.width() * 0.92;
    const double byHeight = 100.0 * area_.height() / (karaokeRowBudget * metrics.lineSpacing());
    const double byWidth = widest > 0 ? 100.0 * karaokeWrappedRows * width / widest : byHeight;
    int pixels = std::clamp(static_cast<int>(std::min(byHeight, byWidth)), karaokeSmallestPixels,
                            karaokeLargestPixels);
    // Lines that wrap take more rows than the budget counts: smaller until the line before, the lit
    // line and the next one fit together below the countdown, wherever the song is.
    for (int tries = 0; tries < 16 && pixels > karaokeSmallestPixels; ++tries) {
        const double needed = lyricsHeightNeeded(lyrics, pixels);
        if (needed <= area_.height()) break;
        pixels = std::max(karaokeSmallestPixels,
                          std::min(pixels - 1, static_cast<int>(pixels * area_.height() / needed)));
    }
    sizedPixels_ = pixels;
    sizedGeneration_ = baseKey_.generation;
    sizedFor_ = area_.size();
    return sizedPixels_;
}

double KaraokePainter::lyricsHeightNeeded(const Lyrics& lyrics, int pixels) const {
    const QFont font = karaokeFont(pixels);
    const qreal width = area_.width() * 0.92;
    const qreal gap = pixels * 0.25;
    std::vector<qreal> heights;
    heights.reserve(lyrics.lines.size());
    for (const LyricLine& line : lyrics.lines)
        heights.push_back(karaokeLayoutHeight(*karaokeLayOut(karaokeLineText(line), font, width)));
    qreal tallest = 0;
    for (std::size_t i = 0; i < heights.size(); ++i) {
        qreal rows = heights[i];
        if (i > 0) rows += heights[i - 1] + gap;
        if (i + 1 < heights.size()) rows += heights[i + 1] + gap;
        tallest = std::max(tallest, rows);
    }
    // The countdown's band (as drawLyrics lays it out) and a gap below the last line.
    return pixels * (0.3 + 0.45 + 0.25) + tallest + gap;
}

void KaraokePainter::drawLyrics(QPainter& painter, const KaraokeFrame& frame) {
    const Lyrics& lyrics = *frame.lyrics;
    const LyricsMoment& moment = frame.moment;
    const int pixels = fontPixelSize(lyrics);
    const QFont font = karaokeFont(pixels);
    const qreal margin = area_.width() * 0.04;
    const qreal width = area_.width() - 2 * margin;
    const qreal gap = pixels * 0.25;
    qreal y = pixels * 0.3;

    // Three dots, one going out each second before the singing starts again.
    const qreal dot = pixels * 0.45;
    if (moment.countdownDots > 0) {
        painter.setPen(Qt::NoPen);
        for (int i = 0; i < 3; ++i) {
            painter.setBrush(i < moment.countdownDots ? karaokeAccentColour() : karaokeDimColour());
            const qreal x = area_.width() / 2.0 + (i - 1) * dot * 2.2 - dot / 2;
            painter.drawEllipse(QRectF(x, y, dot, dot));
        }
        painter.setBrush(Qt::NoBrush);
    }
    y += dot + gap;

    const int count = static_cast<int>(lyrics.lines.size());
    const int lit = std::clamp(moment.line, -1, count - 1);
    // Before the first line the first one waits, unlit, where the lit line goes.
    const int current = std::max(lit, 0);
    if (lit > 0) {
        auto before = karaokeLayOut(karaokeLineText(lyrics.lines[lit - 1]), font, width);
        painter.setPen(karaokeDimColour());
        before->draw(&painter, QPointF(margin, y));
        y += karaokeLayoutHeight(*before) + gap;
    }

    const QString text = karaokeLineText(lyrics.lines[current]);
    auto layout = karaokeLayOut(text, font, width);
    const qreal height = karaokeLayoutHeight(*layout);
    painter.setPen(lit >= 0 ? unsungColour() : karaokeNextColour());
    layout->draw(&painter, QPointF(margin, y));
    if (lit >= 0) {
        litOrigin_ = QPoint(static_cast<int>(margin), static_cast<int>(y));
        litBounds_ = QRect(litOrigin_, QSize(static_cast<int>(std::ceil(width)) + 1,
                                             static_cast<int>(std::ceil(height)) + 1));
        litLayer_ = QImage(litBounds_.size(), QImage::Format_ARGB32_Premultiplied);
        litLayer_.fill(Qt::transparent);
        QPainter layer(&litLayer_);
        layer.setRenderHint(QPainter::TextAntialiasing);
        layer.setPen(sungColour());
        layout->draw(&layer, QPointF(margin - litOrigin_.x(), y - litOrigin_.y()));
        for (int i = 0; i < text.size(); ++i) {
            litCharStarts_.push_back(i);
            if (text.at(i).isHighSurrogate() && i + 1 < text.size()) ++i;
        }
        litCharStarts_.push_back(static_cast<int>(text.size()));
        litLayout_ = std::move(layout);
    }
    y += height + gap;

    painter.setPen(karaokeNextColour());
    for (int next = current + 1; next < count && y < area_.height(); ++next) {
        auto after = karaokeLayOut(karaokeLineText(lyrics.lines[next]), font, width);
        const qreal rows = karaokeLayoutHeight(*after);
        if (y + rows > area_.height()) break;
        after->draw(&painter, QPointF(margin, y));
        y += rows + gap;
    }
}

void KaraokePainter::drawMessage(QPainter& painter, const QStringList& message, KaraokeFrame::Look look) {
    if (message.isEmpty()) return;
    const qreal margin = area_.width() * 0.05;
    const qreal width = std::max<qreal>(1, area_.width() - 2 * margin);
    const int large = std::clamp(area_.height() / (look == KaraokeFrame::Look::singers ? 7 : 10), 8, 160);
    std::vector<std::unique_ptr<QTextLayout>> layouts;
    qreal total = 0;
    for (int i = 0; i < message.size(); ++i) {
        QFont font = karaokeFont(i == 0 ? large : std::max(8, large * 11 / 20));
        font.setBold(i == 0);
        layouts.push_back(karaokeLayOut(message[i], font, width));
        total += karaokeLayoutHeight(*layouts.back()) + large * 0.2;
    }
    qreal y = std::max<qreal>(0, (area_.height() - total) / 2);
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        painter.setPen(i == 0 ? unsungColour() : karaokeNextColour());
        layouts[i]->draw(&painter, QPointF(margin, y));
        y += karaokeLayoutHeight(*layouts[i]) + large * 0.2;
    }
}

void KaraokePainter::drawKeyShift(QPainter& painter, int keyShift, KaraokeFrame::Look) const {
    const int pixels = std::clamp(area_.height() / 18, 10, 72);
    painter.setFont(karaokeFont(pixels));
    painter.setPen(karaokeAccentColour());
    const QRectF box(area_.left() + pixels * 0.4, area_.top() + pixels * 0.3, area_.width() - pixels * 0.8,
                     pixels * 1.4);
    // Drawn in the base image at (0,0) and over the picture at the area's place.
    const QPointF shift = painter.device() == &base_ ? -QPointF(area_.topLeft()) : QPointF();
    painter.drawText(box.translated(shift), Qt::AlignRight | Qt::AlignTop, keyShiftText(keyShift));
}

void KaraokePainter::drawTicker(QPainter& painter, const QString& ticker) const {
    const QRect band(0, area_.height(), whole_.width(), whole_.height() - area_.height());
    painter.fillRect(band, QColor(34, 34, 38));
    const qreal margin = band.height() * 0.4;
    const qreal width = std::max<qreal>(1, band.width() - 2 * margin);
    QFont font = karaokeFont(std::max(8, band.height() * 3 / 5));
    font.setBold(false);
    // A long line is made smaller to fit, down to two thirds, then cut with an ellipsis.
    const qreal advance = QFontMetricsF(font).horizontalAdvance(ticker);
    if (advance > width)
        font.setPixelSize(std::max(8, int(font.pixelSize() * std::max(2.0 / 3.0, width / advance))));
    const QString shown = QFontMetricsF(font).elidedText(ticker, Qt::ElideRight, width);
    painter.setFont(font);
    painter.setPen(karaokeAccentColour());
    painter.drawText(QRectF(band).adjusted(margin, 0, -margin, 0), Qt::AlignCenter, shown);
}

QRect KaraokePainter::pictureTarget() const {
    const double scale =
        std::min(area_.width() / double(CdgScreen::width), area_.height() / double(CdgScreen::height));
    const int width = static_cast<int>(std::lround(CdgScreen::width * scale));
    const int height = static_cast<int>(std::lround(CdgScreen::height * scale));
    return QRect(area_.left() + (area_.width() - width) / 2, area_.top() + (area_.height() - height) / 2,
                 width, height);
}

QRect KaraokePainter::takePicture(const CdgScreen& screen, KaraokeFrame::Look look) {
    if (hasScreen_ && sameCdgScreen(screen, shownScreen_)) return {};
    // A disc redraws a few tiles at a time: only their place is scaled and sent to the screen again,
    // not the whole picture at every syllable.
    QRect changed = pictureTarget();
    if (hasScreen_) {
        if (const std::optional<QRect> shown = changedCdgPixels(shownScreen_, screen)) {
            const QRect target = pictureTarget();
            const double sx = target.width() / double(CdgScreen::width);
            const double sy = target.height() / double(CdgScreen::height);
            changed = QRectF(target.left() + shown->left() * sx, target.top() + shown->top() * sy,
                             shown->width() * sx, shown->height() * sy)
                          .toAlignedRect()
                          .adjusted(-1, -1, 1, 1)
                          .intersected(target);
        }
    }
    shownScreen_ = screen;
    hasScreen_ = true;
    cdgToRgb(screen, look == KaraokeFrame::Look::singers, rgb_);
    if (rgb_.size() < std::size_t(CdgScreen::width) * CdgScreen::height * 3) {
        picture_ = QImage();
        return pictureTarget();
    }
    picture_ =
        QImage(rgb_.data(), CdgScreen::width, CdgScreen::height, CdgScreen::width * 3, QImage::Format_RGB888);
    return changed;
}

std::vector<QRectF> KaraokePainter::wipeRects(double litFraction) const {
    std::vector<QRectF> rects;
    if (!litLayout_ || litCharStarts_.size() < 2) return rects;
    const int characters = static_cast<int>(litCharStarts_.size()) - 1;
    const double position = std::clamp(litFraction, 0.0, 1.0) * characters;
    const int whole = std::clamp(static_cast<int>(std::floor(position)), 0, characters);
    const double part = position - whole;
    const int cursor = litCharStarts_[whole];
    for (int i = 0; i < litLayout_->lineCount(); ++i) {
        const QTextLine row = litLayout_->lineAt(i);
        const QRectF rowRect = row.naturalTextRect().translated(litOrigin_);
        const int end = row.textStart() + row.textLength();
        if (cursor >= end && whole > 0) {
            rects.push_back(rowRect);
            continue;
        }
        if (cursor < row.textStart()) break;
        qreal x = row.cursorToX(cursor);
        if (whole < characters) {
            const int following = litCharStarts_[whole + 1];
            const qreal nextX = following <= end ? row.cursorToX(following) : x;
            x += part * (nextX - x);
        }
        const qreal right = x + litOrigin_.x();
        if (right > rowRect.left())
            rects.emplace_back(rowRect.left(), rowRect.top(), right - rowRect.left(), rowRect.height());
        break;
    }
    return rects;
}

} // namespace vantle
