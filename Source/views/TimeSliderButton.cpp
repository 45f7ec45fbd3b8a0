#include "Source/views/TimeSliderButton.h"

#include "Source/session/TextNote.h"
#include "Source/views/TimeSlider.h"
#include "platform/foundation/Console.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTransform>

#include <cmath>
#include <utility>

namespace vantle {

QImage timeSliderSymbolImage(const QString& symbolName, const QColor& color, double pointSize,
                             double devicePixelRatio) {
    const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const double size = pointSize > 0 ? pointSize : 1.0;
    const int pixels = static_cast<int>(std::ceil(size * ratio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(size / 2, size / 2);
    // Heavy weight: strokes about a tenth of the symbol's size.
    QPen pen(color, size * 0.09, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    if (symbolName == QLatin1String("z.square")) {
        const double side = size * 0.8;
        painter.setPen(pen);
        painter.drawRoundedRect(QRectF(-side / 2, -side / 2, side, side), side * 0.2, side * 0.2);
        const double z = side * 0.22;
        QPainterPath letter;
        letter.moveTo(-z, -z);
        letter.lineTo(z, -z);
        letter.lineTo(-z, z);
        letter.lineTo(z, z);
        painter.strokePath(letter, pen);
    } else if (symbolName == QLatin1String("pencil")) {
        // Along the x axis, tip to the left, then turned to point down-left.
        const double length = size * 0.8;
        const double half = size * 0.09;
        const double tip = half * 2.4;
        QPainterPath pencil;
        pencil.moveTo(-length / 2, 0);
        pencil.lineTo(-length / 2 + tip, -half);
        pencil.lineTo(length / 2, -half);
        pencil.lineTo(length / 2, half);
        pencil.lineTo(-length / 2 + tip, half);
        pencil.closeSubpath();
        pencil.moveTo(-length / 2 + tip, -half);
        pencil.lineTo(-length / 2 + tip, half);
        pen.setWidthF(size * 0.05);
        painter.rotate(-45);
        painter.strokePath(pencil, pen);
    } else {
        painter.fillRect(QRectF(-size * 0.4, -size * 0.4, size * 0.8, size * 0.8), color);
    }
    return image;
}

TimeSliderButton::TimeSliderButton(double time, const QRectF& frame, const QString& symbolName,
                                   const QColor& paletteColor, double pointSize, TimeSlider* timeSlider)
    : QAbstractButton(timeSlider), time_(time), timeSlider_(timeSlider) {
    setFocusPolicy(Qt::NoFocus);
    setAccessibleDescription(symbolName);
    normalImage_ = timeSliderSymbolImage(symbolName, paletteColor, pointSize,
                                         timeSlider ? timeSlider->devicePixelRatioF() : 1.0);
    setFrameF(frame);
}

void TimeSliderButton::setFrameF(const QRectF& frame) {
    frame_ = frame;
    setGeometry(qRound(frame.x()), qRound(frame.y()), qRound(frame.width()), qRound(frame.height()));
}

QMenu* TimeSliderButton::makeContextMenu() {
    auto* menu = new QMenu();
    QAction* title = menu->addAction(menuTitle());
    title->setEnabled(false);
    QAction* removeItem = menu->addAction(QStringLiteral(" Remove"));
    connect(removeItem, &QAction::triggered, this, &TimeSliderButton::remove);
    return menu;
}

void TimeSliderButton::remove() {
    platform::consolePrint("remove " + std::string(metaObject()->className()) + " at " +
                           QString::number(time_, 'f', 2).toStdString());
}

// The slider draws the symbol (see TimeSlider::paintEvent); the marker itself is only its frame.
void TimeSliderButton::paintEvent(QPaintEvent*) {}

void TimeSliderButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) platform::consolePrint("TimeSliderButton clicked");
    // Handed on to the slider, so a click on a marker seeks there.
    event->ignore();
}

void TimeSliderButton::mouseMoveEvent(QMouseEvent* event) {
    event->ignore();
}

void TimeSliderButton::mouseReleaseEvent(QMouseEvent* event) {
    event->ignore();
}

void TimeSliderButton::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = makeContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

ZeroButton::ZeroButton(double time, const QRectF& frame, TimeSlider* timeSlider)
    : TimeSliderButton(time, frame, QStringLiteral("z.square"),
                       timeSlider ? timeSlider->palette().color(QPalette::Text) : QColor(Qt::black), 27.0,
                       timeSlider) {}

void ZeroButton::remove() {
    if (TimeSlider* slider = timeSlider()) slider->removeZeroButton(this);
}

NoteButton::NoteButton(std::shared_ptr<TextNote> note, const QRectF& frame, TimeSlider* timeSlider)
    : TimeSliderButton(note ? note->time() : 0.0, frame, QStringLiteral("pencil"), QColor(52, 199, 89), 40.0,
                       timeSlider),
      note_(std::move(note)) {}

void NoteButton::remove() {
    if (TimeSlider* slider = timeSlider()) slider->removeNoteButton(this);
}

} // namespace vantle
