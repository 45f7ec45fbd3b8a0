#pragma once
// Time sources for timers: the real monotonic clock, or another one injected (a test's, moved by
// hand).

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

} // namespace platform
