#include "Source/mainwindow/FittedFont.h"

#include "Source/views/TextNotifierView.h"

#include <QFontMetricsF>

namespace vantle {

std::optional<QFont> fittedFont(const QString& text, const QFont& baseFont, QSizeF size) {
    if (!(size.width() > 0.0) || !(size.height() > 0.0)) return std::nullopt;
    QFont probe = baseFont;
    probe.setPointSizeF(12.0);
    const QFontMetricsF metrics(probe);
    QFont fitted = baseFont;
    fitted.setPointSizeF(
        TextNotifierView::fittedPointSize(QSizeF(metrics.horizontalAdvance(text), metrics.height()), size));
    return fitted;
}

} // namespace vantle
