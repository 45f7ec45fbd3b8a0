#pragma once
// Time sources for timers: the real monotonic clock, and a hand-moved one for tests.

#include <atomic>

namespace platform {

// Monotonic time in seconds from an arbitrary origin, as timers see it; now() may be called from any thread.
class TimerClock {
public:
    virtual ~TimerClock() = default;
    virtual double now() const = 0;
};

// The system's monotonic clock.
class MonotonicTimerClock final : public TimerClock {
public:
    double now() const override;
};

// A clock that moves only when told to, for tests; any thread may read or move it.
class ManualTimerClock final : public TimerClock {
public:
    explicit ManualTimerClock(double start = 0) : now_(start) {}
    double now() const override { return now_.load(); }
    // Moves the clock forward; a negative step is ignored (the clock is monotonic).
    void advance(double seconds);

private:
    std::atomic<double> now_;
};

} // namespace platform
