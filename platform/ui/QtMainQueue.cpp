#include "platform/ui/QtMainQueue.h"

#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/LogSink.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

namespace platform {

namespace {

// The object the waker posts its drain calls to. The waker runs on any thread and may outlive the
// binding, so it reaches the object only through this guard, which is emptied when the object goes.
struct QtLoopDrainTarget {
    std::mutex mutex;
    QObject* receiver = nullptr;
};

std::shared_ptr<QtLoopDrainTarget>& boundQtLoopDrainTarget() {
    static std::shared_ptr<QtLoopDrainTarget> target;
    return target;
}

void drainMainQueueInQtLoop() {
    static const LogCategory log("com.fennorastudio.Vantle", "MainQueue");
    // An exception must not unwind through Qt's event dispatch; the queue has already asked for
    // another call for whatever the failed round left.
    // One round per turn of the loop: what the round's work posts, or a worker posts meanwhile, waits
    // for the next turn, so that input, timers and painting come in between (a worker handing over
    // batches would otherwise hold the loop until it is done).
    try {
        mainQueue().drain(1);
    } catch (const std::exception& error) {
        log.write(LogType::error, std::string("Work on the main queue failed: ") + error.what());
    } catch (...) {
        log.write(LogType::error, "Work on the main queue failed with an unknown exception");
    }
}

} // namespace

void bindMainQueueToQtLoop(QCoreApplication& application) {
    if (QThread::currentThread() != application.thread())
        throw std::logic_error("the main queue can only be bound to a Qt loop from the loop's thread");
    unbindMainQueueFromQtLoop();
    mainQueue().bindToCurrentThread();

    auto target = std::make_shared<QtLoopDrainTarget>();
    // A child of the application, so that it cannot outlive the loop even without an unbind.
    target->receiver = new QObject(&application);
    QObject::connect(target->receiver, &QObject::destroyed, [target] {
        std::lock_guard lock(target->mutex);
        target->receiver = nullptr;
    });
    boundQtLoopDrainTarget() = target;
    setMainQueueWaker([target] {
        std::lock_guard lock(target->mutex);
        if (target->receiver)
            QMetaObject::invokeMethod(
                target->receiver, [] { drainMainQueueInQtLoop(); }, Qt::QueuedConnection);
    });
}

void unbindMainQueueFromQtLoop() {
    auto& target = boundQtLoopDrainTarget();
    if (!target) return;
    setMainQueueWaker({});
    QObject* receiver = nullptr;
    {
        std::lock_guard lock(target->mutex);
        receiver = target->receiver;
    }
    // Deleting it also drops a drain call still waiting in the loop.
    delete receiver;
    target.reset();
}

} // namespace platform
