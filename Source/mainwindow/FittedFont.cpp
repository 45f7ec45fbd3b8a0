#include "Source/mainwindow/FittedFont.h"

#include "Source/views/TextNotifierView.h"

namespace vantle {

std::optional<QFont> fittedFont(const QString& text, const QFont& baseFont, QSizeF size) {
    if (!(size.width() > 0.0) || !(size.height() > 0.0)) return std::nullopt;
    return TextNotifierView::fittedFont(text, baseFont, size);
}

} // namespace vantle
