#include "Source/mainwindow/StandInParts.h"

#include <QPalette>

#include <algorithm>
#include <cmath>

namespace vantle {

StandInKaraoke::StandInKaraoke(QWidget* parent) : QLabel(parent) {
    setObjectName("karaokeView");
    setText(tr("Karaoke"));
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(211, 211, 211));
    setPalette(colours);
    hide();
}

void StandInKaraoke::layoutInFrame(double x) {
    QWidget* parent = parentWidget();
    if (!parent) return;
    const int left = static_cast<int>(std::lround(x));
    setGeometry(left, 0, std::max(0, parent->width() - left), parent->height());
    raise();
}

} // namespace vantle
