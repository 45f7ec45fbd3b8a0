#include "Source/views/Screensaver.h"

#include "Source/views/SystemColors.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/TimerScheduler.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWindow>

namespace vantle {

Screensaver::Screensaver(QWidget* parent) : Clock(parent) {}

Screensaver::~Screensaver() {
    if (trackingArea_ && qApp) qApp->removeEventFilter(this);
}

bool Screensaver::playerStoppedInDance() const {
    return host_ && !host_->isPlaying() && host_->playerMode() == PlayerMode::dance;
}

void Screensaver::resetIdle() {
    saverTimer_.reset();
    if (!playerStoppedInDance()) return;
    // Deferred, so that every call within one event re-arms only once, after the last of them.
    QPointer<Screensaver> self(this);
    platform::mainQueue().async([self] {
        if (self) self->restartIdleTimer();
    });
    setClockVisible(false);
    QWidget::hide();
    startDisplayTimer();
    update();
}

void Screensaver::restartIdleTimer() {
    saverTimer_.reset();
    QPointer<Screensaver> self(this);
    saverTimer_ = std::make_unique<platform::DispatchTimer>(timerScheduler().scheduleOnce(delayTime, [self] {
        if (self) self->show();
    }));
}

bool Screensaver::hasSaverTimer() const {
    return saverTimer_ != nullptr;
}

void Screensaver::show() {
    QWidget* area = parentWidget();
    if (!host_ || !area) return;
    setGeometry(area->rect());
    setBackground(namedColor("notifierBackground").value_or(QColor(Qt::white)));
    setRestTimer(host_->restTimer());
    saverTimer_.reset();
    if (!playerStoppedInDance()) return;
    setClockVisible(true);
    QWidget::show();
    raise();
    startDisplayTimer();
    update();
}

void Screensaver::installTrackingArea() {
    if (trackingArea_) return;
    trackingArea_ = true;
    qApp->installEventFilter(this);
}

bool Screensaver::eventFilter(QObject* watched, QEvent* event) {
    // Mouse movements reach the window before any widget, whether or not a widget tracks them.
    if (event->type() == QEvent::MouseMove) {
        QWidget* mainWindow = window();
        if (watched == mainWindow->windowHandle() && QApplication::activeWindow() == mainWindow) resetIdle();
    }
    return Clock::eventFilter(watched, event);
}

} // namespace vantle
