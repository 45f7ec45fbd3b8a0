#include "SlimSlider/ValueLabel.h"

#include <QFontMetricsF>
#include <QPainter>

namespace slimslider {

ValueLabel ValueLabel::text(const QString& text) {
    return ValueLabel(
        [text](const QFont& font) { return QFontMetricsF(font).size(Qt::TextSingleLine, text); },
        [text](QPainter& painter, const QRectF& rect, const QColor& foreground) {
            painter.setPen(foreground);
            painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, text);
        });
}

QSizeF ValueLabel::size(const QFont& font) const {
    return size_ ? size_(font) : QSizeF();
}

void ValueLabel::paint(QPainter& painter, const QRectF& rect, const QColor& foreground) const {
    if (paint_) paint_(painter, rect, foreground);
}

} // namespace slimslider
