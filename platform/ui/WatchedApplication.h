#pragma once
// The application object whose thread's event deliveries are timed, so that a stretch that keeps the
// window's thread from its event loop is seen and reported with what it was doing.

#include "platform/dispatch/StallWatchdog.h"

#include <QApplication>

#include <atomic>
#include <memory>
#include <optional>

class QMetaObject;

namespace platform {

// A QApplication that times each event it delivers from its own thread's loop: the stretch runs from the
// delivery's start to its end, or to the next turn of a loop nested inside it (a dialog's), so time the
// thread spends in a loop is never counted. Deliveries on other threads are not timed. Application thread.
class WatchedApplication : public QApplication {
public:
    WatchedApplication(int& argc, char** argv);
    ~WatchedApplication() override;

    // Watches with `options` from now on, replacing any earlier watch (the activity is filled in: the
    // event and its receiver's class); none stops watching.
    void watch(std::optional<StallWatchdog::Options> options);
    StallWatchdog* watchdog() const { return watchdog_.get(); }

    // The application, when it is one of these.
    static WatchedApplication* instance();

    // Work of the application's thread outside any delivery that still keeps the window from answering
    // (the window's teardown after the loop ended, or in a test), watched as one stretch for its lifetime.
    // `what` names it in a report and must outlive it. Does nothing without a watched application.
    class Stretch {
    public:
        explicit Stretch(const char* what);
        ~Stretch();
        Stretch(const Stretch&) = delete;
        Stretch& operator=(const Stretch&) = delete;

    private:
        WatchedApplication* application_;
    };

    bool notify(QObject* receiver, QEvent* event) override;

private:
    void loopTurned();

    std::unique_ptr<StallWatchdog> watchdog_;
    int depth_ = 0;
    // What the outermost delivery is, for the sampler's thread to read.
    std::atomic<const QMetaObject*> receiverClass_{nullptr};
    std::atomic<int> eventType_{0};
    std::atomic<const char*> stretchName_{nullptr};
};

} // namespace platform
