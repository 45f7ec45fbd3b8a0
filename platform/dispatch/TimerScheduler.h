#pragma once
// One-shot and repeating timers whose handlers run on a queue, fired by a scheduler over an injectable clock.

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/TimerClock.h"

#include <memory>
#include <thread>
#include <utility>

namespace platform {

namespace detail {
struct TimerSchedulerCore;
struct DispatchTimerState;
} // namespace detail

// Handle of one scheduled timer (stands in for a dispatch timer source). It cancels its timer when destroyed
// or assigned over. Any thread may cancel; once cancel() has returned no handler of the timer starts, even
// one that was already due and posted to its queue (a handler already running on another thread finishes).
class DispatchTimer {
public:
    DispatchTimer() = default;
    DispatchTimer(DispatchTimer&&) noexcept = default;
    DispatchTimer& operator=(DispatchTimer&& other) noexcept;
    ~DispatchTimer();

    // Stops the timer for good; does nothing on an empty or already cancelled handle.
    void cancel();

private:
    friend class TimerScheduler;
    explicit DispatchTimer(std::shared_ptr<detail::DispatchTimerState> state) : state_(std::move(state)) {}

    std::shared_ptr<detail::DispatchTimerState> state_;
};

// Keeps the timers of a clock and posts each handler to its queue when its deadline has come.
// With the real clock a thread of the scheduler's own watches the deadlines; with an injected clock nothing
// fires until fireDueTimers() is called. A repeating timer keeps to its grid (start + k × interval) and skips
// the ticks it missed instead of firing them in a burst; while its handler is posted but has not yet run, its
// further ticks are skipped too, so a handler never overlaps itself, even on a concurrent queue.
// All members may be called from any thread. A timer's queue must outlive the timer.
class TimerScheduler {
public:
    // Real time: the monotonic clock and a thread that posts handlers as they fall due.
    TimerScheduler();
    // Driven by the given clock through fireDueTimers().
    explicit TimerScheduler(std::shared_ptr<const TimerClock> clock);
    // Nothing fires afterwards; handlers already posted still run unless their timer is cancelled.
    virtual ~TimerScheduler();
    TimerScheduler(const TimerScheduler&) = delete;
    TimerScheduler& operator=(const TimerScheduler&) = delete;

    // Fires once, delaySeconds from now (a negative delay counts as none).
    [[nodiscard]] DispatchTimer scheduleOnce(double delaySeconds, DispatchQueue::Work handler,
                                             DispatchQueue& queue = mainQueue());
    // Fires every intervalSeconds (at least 1 ms), the first time one interval from now.
    [[nodiscard]] DispatchTimer scheduleRepeating(double intervalSeconds, DispatchQueue::Work handler,
                                                  DispatchQueue& queue = mainQueue());

    // Posts the handlers of all timers due at the clock's time, in order of deadline.
    void fireDueTimers();
    double now() const;

private:
    DispatchTimer schedule(double delaySeconds, double intervalSeconds, DispatchQueue::Work handler,
                           DispatchQueue& queue);

    std::shared_ptr<detail::TimerSchedulerCore> core_;
    std::thread thread_;
};

// The process-wide real-time scheduler.
TimerScheduler& sharedTimerScheduler();

} // namespace platform
