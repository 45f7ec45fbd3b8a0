#include "Source/views/TintedButton.h"

#include <QPainter>
#include <QPixmap>

namespace vantle {

TintedButton::TintedButton(QWidget* parent) : QPushButton(parent) {
    makeImageTemplate();
}

TintedButton::TintedButton(const QIcon& icon, const QString& text, QWidget* parent)
    : QPushButton(icon, text, parent) {
    makeImageTemplate();
}

QIcon TintedButton::templateIcon(const QIcon& icon, const QColor& color) {
    QIcon tinted;
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty()) sizes = {QSize(16, 16), QSize(32, 32)};
    for (const QSize& size : sizes) {
        QPixmap shape = icon.pixmap(size);
        QPainter painter(&shape);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(shape.rect(), color);
        painter.end();
        tinted.addPixmap(shape);
    }
    return tinted;
}

void TintedButton::makeImageTemplate() {
    if (icon().isNull()) return;
    setIcon(templateIcon(icon(), palette().color(QPalette::ButtonText)));
}

} // namespace vantle
