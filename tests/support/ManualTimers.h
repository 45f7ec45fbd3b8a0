#pragma once
// Timers on a clock that moves only when the test moves it: a scheduler fires nothing until advanced,
// however long the machine takes. The clock may be read and moved from any thread.

#include "platform/dispatch/TimerClock.h"
#include "platform/dispatch/TimerScheduler.h"

#include <atomic>
#include <memory>
#include <utility>

namespace testsupport {

// A monotonic clock that moves only when told to.
class ManualTimerClock final : public platform::TimerClock {
public:
    explicit ManualTimerClock(double start = 0) : now_(start) {}
    double now() const override { return now_.load(); }
    // Moves the clock forward; a negative step is ignored (the clock is monotonic).
    void advance(double seconds) {
        if (!(seconds > 0)) return;
        double current = now_.load();
        while (!now_.compare_exchange_weak(current, current + seconds)) {
        }
    }

private:
    std::atomic<double> now_;
};

// A scheduler on a manual clock: time moves only through advance().
class ManualTimerScheduler final : public platform::TimerScheduler {
public:
    explicit ManualTimerScheduler(double start = 0)
        : ManualTimerScheduler(std::make_shared<ManualTimerClock>(start)) {}

    // Moves the clock by seconds in one jump and posts the handlers of everything then due.
    void advance(double seconds) {
        clock_->advance(seconds);
        fireDueTimers();
    }

private:
    explicit ManualTimerScheduler(std::shared_ptr<ManualTimerClock> clock)
        : TimerScheduler(clock), clock_(std::move(clock)) {}

    std::shared_ptr<ManualTimerClock> clock_;
};

} // namespace testsupport
