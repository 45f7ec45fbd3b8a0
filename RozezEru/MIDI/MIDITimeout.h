#pragma once
// A watchdog for MIDI exchanges that expect an answer or a steady stream: perform() arms a timer and runs
// the action; succeed() disarms every armed timer and runs the success action; a timer that fires first
// runs the timeout action. The timers are armed, and fire, on the main queue. perform() and succeed() may
// be called from any thread.

#include "platform/dispatch/TimerScheduler.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace rozezeru {

class MIDITimeout : public std::enable_shared_from_this<MIDITimeout> {
public:
    using Action = std::function<void()>;

    // With onMainThread, success and timeout handling run on the main queue; else success runs on the
    // caller's thread. Timers run on `scheduler` (a manual one in tests).
    static std::shared_ptr<MIDITimeout>
    make(double timeoutInterval, bool onMainThread, Action success, Action timeout,
         platform::TimerScheduler& scheduler = platform::sharedTimerScheduler());
    ~MIDITimeout();
    MIDITimeout(const MIDITimeout&) = delete;
    MIDITimeout& operator=(const MIDITimeout&) = delete;

    // Queues the arming of one timer on the main queue, then runs `action` at once.
    void perform(const Action& action);
    void reportSuccess() { succeed(); }
    void succeed();
    void timeOut();

    const double timeoutInterval;
    const bool mainThread;
    // Switches read at the next success or timeout.
    std::atomic<bool> disableSuccess{false};
    std::atomic<bool> disableFailure{false};

private:
    MIDITimeout(double timeoutInterval, bool onMainThread, Action success, Action timeout,
                platform::TimerScheduler& scheduler);
    void successStep();
    void timeoutStep();

    Action onSuccess_;
    Action onTimeout_;
    platform::TimerScheduler& scheduler_;
    // Armed on the main queue, cancelled on the caller's thread when success is not moved there.
    std::mutex pendingMutex_;
    std::vector<platform::DispatchTimer> pending_;
};

} // namespace rozezeru
