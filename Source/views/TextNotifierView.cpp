#include "Source/views/TextNotifierView.h"

#include "Source/views/NoticeFade.h"
#include "Source/views/SystemColors.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <cmath>

namespace vantle {

namespace {

// The margin left free of the area's width and height, in all.
constexpr double noticeMargin = 5.0;

// Lays the text out in lines of `width`, as the notice draws it; returns the widest line's width
// and the lines' height.
QSizeF layOutNoticeText(QTextLayout& layout, double width, Qt::Alignment alignment) {
    QTextOption option(alignment & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    double height = 0, widest = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, height));
        height += line.height();
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    return {widest, height};
}

QFont noticeFontAt(const QFont& base, double pointSize) {
    QFont font = base;
    font.setPointSizeF(pointSize);
    return font;
}

} // namespace

TextNotifierView::TextNotifierView(QWidget* parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
}

double TextNotifierView::fittedPointSize(QSizeF measuredAt12, QSizeF area) {
    const double scale = std::min((area.width() - 5.0) / measuredAt12.width(),
                                  (area.height() - 5.0) / (0.77 * measuredAt12.height()));
    const double size = 12.0 * scale;
    // A text that measures nothing, or an area smaller than the margin, gives an infinite, zero or
    // negative size; the bounds keep the font drawable.
    if (std::isnan(size)) return minimumPointSize;
    return std::clamp(size, minimumPointSize, maximumPointSize);
}

QFont TextNotifierView::fittedFont(const QString& text, const QFont& base, QSizeF area) {
    QFont probe = base;
    probe.setPointSizeF(12.0);
    const QFontMetricsF metrics(probe);
    QFont fitted = base;
    fitted.setPointSizeF(fittedPointSize(QSizeF(metrics.horizontalAdvance(text), metrics.height()), area));
    return fitted;
}

QFont TextNotifierView::noticeFont(const QString& text, const QFont& base, QSizeF area) {
    QFont single = fittedFont(text, base, area);
    const double width = area.width() - noticeMargin;
    const double height = area.height() - noticeMargin;
    if (!(width > 0) || !(height > 0) || text.isEmpty()) return single;
    // The size scaled from a 12-point measure runs a few per cent wide at small sizes, where
    // glyphs are hinted to whole pixels: the real advance decides.
    for (int step = 0; step < 20 && single.pointSizeF() > minimumPointSize; ++step) {
        if (QFontMetricsF(single).horizontalAdvance(text) <= width) break;
        single.setPointSizeF(std::max(minimumPointSize, single.pointSizeF() * 0.97));
    }

    // More lines pay only when two of them fit the height at a larger size than one line has.
    const QFontMetricsF at12(noticeFontAt(base, 12.0));
    double low = single.pointSizeF();
    double high = std::min(maximumPointSize, 12.0 * height / (2.0 * at12.height()));
    auto wrappedFits = [&](double pointSize) {
        QTextLayout layout(text, noticeFontAt(base, pointSize));
        const QSizeF size = layOutNoticeText(layout, width, Qt::AlignCenter);
        return size.width() <= width && size.height() <= height;
    };
    if (!(high > low) || !wrappedFits(low)) return single;
    double best = low;
    for (int step = 0; step < 14 && high - low > 0.05; ++step) {
        const double middle = (low + high) / 2;
        if (wrappedFits(middle)) {
            best = low = middle;
        } else {
            high = middle;
        }
    }
    return best > single.pointSizeF() ? noticeFontAt(base, best) : single;
}

QFont TextNotifierView::noticeBaseFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setWeight(QFont::Bold);
    font.setPointSizeF(42.0);
    return font;
}

TextNotifierView* TextNotifierView::archivedCopy() const {
    auto* copy = new TextNotifierView;
    copy->setObjectName(objectName());
    copy->setAlignment(alignment());
    copy->setWordWrap(wordWrap());
    copy->setMargin(margin());
    copy->setIndent(indent());
    copy->setTextFormat(textFormat());
    copy->setContentsMargins(contentsMargins());
    copy->setPalette(palette());
    copy->setStyleSheet(styleSheet());
    return copy;
}

TextNotifierView* TextNotifierView::show(const QString& text, double duration, std::optional<QColor> color) {
    QWidget* area = parentWidget();
    if (text.isEmpty() || !area) return nullptr;

    TextNotifierView* copy = archivedCopy();
    copy->setParent(area);
    copy->setGeometry(area->rect());
    // A fading notice must not take the clicks meant for the view beneath it.
    copy->setAttribute(Qt::WA_TransparentForMouseEvents);
    QString shown = text;
    if (text.size() > longestShownText) {
        // A character beyond the BMP is two UTF-16 units: it goes whole or not at all.
        const int cut =
            text.at(longestShownText - 1).isHighSurrogate() ? longestShownText - 1 : longestShownText;
        shown = text.left(cut) + QChar(0x2026);
    }
    copy->setFont(noticeFont(shown, noticeBaseFont(), QSizeF(copy->size())));
    copy->setText(shown);
    if (std::optional<QColor> foreground = color ? color : namedColor("notifierForeground")) {
        QPalette palette = copy->palette();
        palette.setColor(QPalette::WindowText, *foreground);
        copy->setPalette(palette);
    }
    copy->QWidget::show();
    copy->raise();
    copy->fade_ = startNoticeFade(*copy, duration);
    return copy;
}

void TextNotifierView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), namedColor("notifierBackground").value_or(QColor(Qt::white)));
    // Laid out as noticeFont measured it, so that what fitted is what is drawn.
    const QRectF box = QRectF(contentsRect()).adjusted(margin(), margin(), -margin(), -margin());
    QTextLayout layout(text(), font());
    const QSizeF size = layOutNoticeText(layout, box.width() - noticeMargin, alignment());
    double top = box.center().y() - size.height() / 2;
    if (alignment() & Qt::AlignTop) top = box.top();
    if (alignment() & Qt::AlignBottom) top = box.bottom() - size.height();
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    layout.draw(&painter, QPointF(box.left() + noticeMargin / 2, top));
}

} // namespace vantle
