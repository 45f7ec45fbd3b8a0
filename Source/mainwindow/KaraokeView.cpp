#include "Source/mainwindow/KaraokeView.h"

#include "Source/mainwindow/FittedFont.h"

#include <QFontMetricsF>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace vantle {

namespace {

QString styledSpan(const QString& text, const char* foreground, const char* background) {
    QString escaped = text.toHtmlEscaped();
    escaped.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    return QStringLiteral("<span style=\"color:%1; background-color:%2\">%3</span>")
        .arg(QLatin1String(foreground), QLatin1String(background), escaped);
}

} // namespace

const QString KaraokeView::dummyText =
    QStringLiteral("now is the time for all good men to come to the aid of the party.\n"
                   "Now is the time 2 for all good men to come to the aid of the party.\n"
                   "Now is the time 3 for all good men to come to the aid of the party.");

KaraokeView::KaraokeView(QWidget* parent) : QLabel(parent) {
    setObjectName("karaokeView");
    QFont font(QStringLiteral("Helvetica"));
    font.setPointSizeF(pointSize);
    setFont(font);
    setTextFormat(Qt::RichText);
    setWordWrap(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    hide();
}

QString KaraokeView::makeAttributedText(int location, int length) {
    const int size = static_cast<int>(dummyText.size());
    const int start = std::clamp(location, 0, size);
    const int end = std::clamp(start + std::max(length, 0), start, size);
    return styledSpan(dummyText.left(start), "gray", "lightgray") +
           styledSpan(dummyText.mid(start, end - start), "black", "white") +
           styledSpan(dummyText.mid(end), "gray", "lightgray");
}

void KaraokeView::layoutInFrame(double x) {
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(Qt::lightGray));
    setPalette(colours);
    if (QWidget* parent = parentWidget()) {
        const int left = static_cast<int>(std::lround(x));
        setGeometry(left, 0, std::max(0, parent->width() - left), parent->height());
    }
    fitFont();
    setText(makeAttributedText(highlightLocation, highlightLength));
    raise();
}

void KaraokeView::fitFont() {
    // 50 points where there is room; a smaller window shrinks the lines rather than cutting them.
    const QStringList lines = dummyText.split(QLatin1Char('\n'));
    QString widest;
    const QFontMetricsF metrics(font());
    for (const QString& line : lines)
        if (metrics.horizontalAdvance(line) > metrics.horizontalAdvance(widest)) widest = line;
    const std::optional<QFont> fitted =
        fittedFont(widest, font(), QSizeF(width(), height() / double(lines.size())));
    if (!fitted) return;
    QFont sized = *fitted;
    sized.setPointSizeF(std::min(pointSize, fitted->pointSizeF()));
    setFont(sized);
}

} // namespace vantle
