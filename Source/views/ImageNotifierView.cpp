#include "Source/views/ImageNotifierView.h"

#include "Source/views/NoticeFade.h"
#include "Source/views/SystemColors.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPropertyAnimation>

#include <algorithm>

namespace vantle {

ImageNotifierView::ImageNotifierView(QWidget* parent) : QWidget(parent) {}

QImage ImageNotifierView::squaredImage(const QIcon& image, double width, double height) {
    const int pixelsWide = static_cast<int>(width);
    const int pixelsHigh = static_cast<int>(height);
    if (pixelsWide < 1 || pixelsHigh < 1) return {};
    QImage squared(pixelsWide, pixelsHigh, QImage::Format_ARGB32_Premultiplied);
    squared.fill(Qt::transparent);
    const double side = std::min(width, height);
    const QRectF square((width - side) / 2, (height - side) / 2, side, side);
    const int sidePixels = std::max(1, static_cast<int>(side));
    QPainter painter(&squared);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    // Whatever its own aspect ratio, the image fills the square.
    painter.drawImage(square, image.pixmap(QSize(sidePixels, sidePixels)).toImage());
    return squared;
}

QImage ImageNotifierView::tintedImage(const QImage& image, const QColor& tint) {
    QImage tinted = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&tinted);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(tinted.rect(), tint);
    return tinted;
}

ImageNotifierView* ImageNotifierView::archivedCopy() const {
    auto* copy = new ImageNotifierView;
    copy->setObjectName(objectName());
    copy->setContentsMargins(contentsMargins());
    copy->setPalette(palette());
    copy->setStyleSheet(styleSheet());
    return copy;
}

ImageNotifierView* ImageNotifierView::show(const QIcon& image) {
    QWidget* area = parentWidget();
    if (image.isNull() || !area) return nullptr;
    setGeometry(area->rect());

    ImageNotifierView* copy = archivedCopy();
    copy->setParent(area);
    copy->setGeometry(geometry());
    copy->setAttribute(Qt::WA_TransparentForMouseEvents);
    QImage squared = squaredImage(image, copy->width(), copy->height());
    std::optional<QColor> tint = namedColor("notifierForeground");
    if (tint && !squared.isNull()) squared = tintedImage(squared, *tint);
    copy->image_ = squared;
    copy->QWidget::show();
    copy->raise();
    copy->fade_ = startNoticeFade(*copy, fadeDuration);
    return copy;
}

void ImageNotifierView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), namedColor("notifierBackground").value_or(QColor(Qt::white)));
    if (!image_.isNull()) painter.drawImage(QRectF(rect()), image_);
}

} // namespace vantle
