#include "Source/views/TextNotifierView.h"

#include "Source/views/NoticeFade.h"
#include "Source/views/SystemColors.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPropertyAnimation>

#include <algorithm>
#include <cmath>

namespace vantle {

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
    copy->setFont(fittedFont(text, noticeBaseFont(), QSizeF(copy->size())));
    copy->setText(text);
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
    {
        QPainter painter(this);
        painter.fillRect(event->rect(), namedColor("notifierBackground").value_or(QColor(Qt::white)));
    }
    QLabel::paintEvent(event);
}

} // namespace vantle
