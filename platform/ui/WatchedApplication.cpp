#include "platform/ui/WatchedApplication.h"

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QMetaEnum>
#include <QMetaObject>
#include <QThread>

namespace platform {

WatchedApplication::WatchedApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // A loop nested in a delivery (a dialog's, a wait for a worker) turning is a return to a loop.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(
            dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { loopTurned(); },
            Qt::DirectConnection);
        connect(
            dispatcher, &QAbstractEventDispatcher::awake, this, [this] { loopTurned(); },
            Qt::DirectConnection);
    }
}

WatchedApplication::~WatchedApplication() = default;

WatchedApplication* WatchedApplication::instance() {
    return dynamic_cast<WatchedApplication*>(QCoreApplication::instance());
}

void WatchedApplication::watch(std::optional<StallWatchdog::Options> options) {
    if (watchdog_ && depth_ > 0) watchdog_->stretchEnds();
    watchdog_.reset();
    if (!options) return;
    options->activity = [this] {
        if (const char* name = stretchName_.load()) return std::string(name);
        const QMetaObject* receiver = receiverClass_.load();
        const int type = eventType_.load();
        const char* typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
        return std::string("delivering event ") + (typeName ? typeName : std::to_string(type).c_str()) + " to " +
               (receiver ? receiver->className() : "an object");
    };
    watchdog_ = std::make_unique<StallWatchdog>(std::move(*options));
    if (depth_ > 0) watchdog_->stretchBegins();
}

WatchedApplication::Stretch::Stretch(const char* what) : application_(instance()) {
    if (!application_ || QThread::currentThread() != application_->thread()) {
        application_ = nullptr;
        return;
    }
    // Inside a delivery it is part of that delivery's stretch.
    if (application_->depth_++ > 0 || !application_->watchdog_) return;
    application_->stretchName_.store(what);
    application_->watchdog_->stretchBegins();
}

WatchedApplication::Stretch::~Stretch() {
    if (!application_ || --application_->depth_ > 0 || !application_->watchdog_) return;
    application_->watchdog_->stretchEnds();
    application_->stretchName_.store(nullptr);
}

void WatchedApplication::loopTurned() {
    if (!watchdog_ || depth_ == 0) return;
    watchdog_->stretchEnds();
    watchdog_->stretchBegins();
}

bool WatchedApplication::notify(QObject* receiver, QEvent* event) {
    if (!watchdog_ || QThread::currentThread() != thread()) return QApplication::notify(receiver, event);
    if (depth_++ == 0) {
        stretchName_.store(nullptr);
        receiverClass_.store(receiver->metaObject());
        eventType_.store(event->type());
        watchdog_->stretchBegins();
    }
    struct Leave {
        WatchedApplication& application;
        ~Leave() {
            if (--application.depth_ == 0 && application.watchdog_) application.watchdog_->stretchEnds();
        }
    } leave{*this};
    return QApplication::notify(receiver, event);
}

} // namespace platform
