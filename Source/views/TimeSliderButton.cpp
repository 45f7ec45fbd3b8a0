#include "Source/views/TimeSliderButton.h"

#include "Source/views/SymbolImages.h"

#include "Source/session/TextNote.h"
#include "platform/foundation/Console.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTransform>

#include <utility>

namespace vantle {

QImage timeSliderSymbolImage(const QString& symbolName, const QColor& color, double pointSize,
                             double devicePixelRatio) {
    // The program's one symbol registry, at the heavy weight the markers use.
    return SymbolImages::pixmap(symbolName.toStdString(), {pointSize, SymbolWeight::heavy, color},
                                devicePixelRatio)
        .toImage();
}

TimeSliderButton::TimeSliderButton(double time, const QRectF& frame, const QString& symbolName,
                                   const QColor& paletteColor, double pointSize, QWidget* timeSlider)
    : QAbstractButton(timeSlider), time_(time) {
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

ZeroButton::ZeroButton(double time, const QRectF& frame, QWidget* timeSlider)
    : TimeSliderButton(time, frame, QStringLiteral("z.square"),
                       timeSlider ? timeSlider->palette().color(QPalette::Text) : QColor(Qt::black), 27.0,
                       timeSlider) {}

void ZeroButton::remove() {
    emit removeRequested(this);
}

NoteButton::NoteButton(std::shared_ptr<TextNote> note, const QRectF& frame, QWidget* timeSlider)
    : TimeSliderButton(note ? note->time() : 0.0, frame, QStringLiteral("pencil"), QColor(52, 199, 89), 40.0,
                       timeSlider),
      note_(std::move(note)) {}

void NoteButton::remove() {
    emit removeRequested(this);
}

} // namespace vantle
