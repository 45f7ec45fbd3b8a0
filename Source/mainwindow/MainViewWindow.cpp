// The main view as the main window's delegate: resizing and fitting fonts to frames.

#include "Source/mainwindow/MainViewController.h"

#include "Source/playback/Player.h"
#include "Source/views/TextNotifierView.h"

#include <QFontMetricsF>
#include <QTimer>

namespace vantle {

void MainViewController::handleWindowResize() {
    QWidget* frame = window();
    if (!frame) return;
    if (QWidget* lyrics = karaoke_->widget(); lyrics && lyrics->isVisible()) karaoke_->layoutInFrame(0);
    if (previousSize_ == frame->size()) return;
    previousSize_ = frame->size();
    scrollCurrentRowToCenter();
    // No event marks the end of a live resize here.
    if (!endResizeTimer_) {
        endResizeTimer_ = new QTimer(this);
        endResizeTimer_->setSingleShot(true);
        endResizeTimer_->setInterval(endResizeQuietMilliseconds);
        connect(endResizeTimer_, &QTimer::timeout, this, [this] { windowEndResize(); });
    }
    endResizeTimer_->start();
}

// The waveform keeps its own wait for the size to settle (see resizeEvent).
void MainViewController::windowEndResize() {
    scrollCurrentRowToCenter();
}

std::optional<QFont> MainViewController::fittedFont(const QString& text, const QFont& baseFont, QSizeF size) {
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
