#include "Source/views/Clock.h"

#include "Source/views/ClockGeometry.h"
#include "Source/views/RestTimerState.h"
#include "Source/views/SystemColors.h"
#include "platform/dispatch/TimerScheduler.h"
#include "platform/foundation/Clock.h"

#include <QPainter>
#include <QPointer>

namespace vantle {

Clock::Clock(QWidget* parent)
    : QAbstractButton(parent), fgColor_(textColor()), dateSource_(&platform::Clock::system()),
      scheduler_(&platform::sharedTimerScheduler()) {}

Clock::~Clock() = default;

void Clock::setFgColor(const QColor& color) {
    fgColor_ = color;
    update();
}

void Clock::setWithSeconds(bool withSeconds) {
    withSeconds_ = withSeconds;
    update();
}

void Clock::setBackground(std::optional<QColor> background) {
    background_ = background;
    update();
}

void Clock::setRestTimer(const RestTimerState* restTimer) {
    restTimer_ = restTimer;
    update();
}

void Clock::setClockVisible(bool visible) {
    visible_ = visible;
    update();
}

void Clock::setHourSizeFraction(double fraction) {
    hourSizeFraction_ = fraction;
    update();
}

void Clock::startDisplayTimer() {
    if (timer_) return;
    QPointer<Clock> self(this);
    timer_ = std::make_unique<platform::DispatchTimer>(scheduler_->scheduleRepeating(1.0, [self] {
        if (self) self->updateDisplay();
    }));
}

bool Clock::hasDisplayTimer() const {
    return timer_ != nullptr;
}

void Clock::setDateSource(const platform::Clock& source) {
    dateSource_ = &source;
    update();
}

void Clock::setTimerScheduler(platform::TimerScheduler& scheduler) {
    scheduler_ = &scheduler;
}

QSize Clock::sizeHint() const {
    return QSize(24, 24);
}

void Clock::updateDisplay() {
    // Asked every second; without a seconds hand the face may not have moved by a pixel, and a
    // repaint of this unopaque button repaints the toolbar under it as well.
    if (!visible_ || !isVisible()) return;
    if (!shown_.isNull() && face() == shown_) return;
    update();
}

std::optional<double> Clock::remainingFraction(platform::Date now) const {
    if (!restTimer_) return std::nullopt;
    return breakRemainingFraction(restTimer_->timeArmed(), restTimer_->armedLength(), now);
}

void Clock::paintEvent(QPaintEvent*) {
    shown_ = visible_ ? face() : QImage();
    if (shown_.isNull()) return;
    QPainter(this).drawImage(QPointF(0, 0), shown_);
}

QImage Clock::face() const {
    const qreal ratio = devicePixelRatioF();
    QImage image((QSizeF(size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) return image;
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    if (background_) painter.fillRect(rect(), *background_);
    const ClockMeasures measures = clockMeasures(QRectF(rect()));
    const platform::Date now = dateSource_->now();
    if (restTimer_) {
        drawRestArc(painter, measures, now);
        drawOverrunWedge(painter, measures, now);
    }
    drawFace(painter, measures, now);
    return image;
}

void Clock::drawHand(QPainter& painter, const ClockMeasures& measures, Qt::PenCapStyle cap,
                     std::optional<QColor> color, double position, double innerRadius, double outerRadius,
                     double lineWidth) const {
    painter.setPen(QPen(color.value_or(fgColor_), lineWidth, Qt::SolidLine, cap));
    painter.drawLine(clockHandPoint(measures.centre, position, innerRadius),
                     clockHandPoint(measures.centre, position, outerRadius));
}

void Clock::drawFace(QPainter& painter, const ClockMeasures& measures, platform::Date now) const {
    for (const ClockStroke& stroke :
         clockFaceStrokes(measures, localTimeOfDay(now), hourSizeFraction_, withSeconds_)) {
        std::optional<QColor> color;
        if (stroke.role == ClockStroke::Role::second) color = systemRedColor();
        drawHand(painter, measures, stroke.cap, color, stroke.position, stroke.innerRadius,
                 stroke.outerRadius, stroke.width);
    }
}

void Clock::drawRestArc(QPainter& painter, const ClockMeasures& measures, platform::Date now) const {
    if (!visible_) return;
    const std::optional<RestArc> rest = clockRestArc(measures, remainingFraction(now));
    if (!rest) return;
    painter.setPen(QPen(systemGreenColor(), rest->lineWidth, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(clockArcPath(rest->arc, false));
}

void Clock::drawOverrunWedge(QPainter& painter, const ClockMeasures& measures, platform::Date now) const {
    if (!restTimer_) return;
    const std::optional<OverrunWedge> wedge =
        clockOverrunWedge(measures, restTimer_->timeArmed(), remainingFraction(now), now);
    if (!wedge) return;
    const QColor red = systemRedColor();
    painter.setPen(QPen(red, wedge->lineWidth, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(red);
    painter.drawPath(clockArcPath(wedge->arc, true));
}

} // namespace vantle
