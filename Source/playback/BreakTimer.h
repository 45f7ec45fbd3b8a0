#pragma once
// The break timer as the main window, the clocks and the transport panel see it. Main thread only.

#include <optional>

namespace vantle {

// Rings a bell when a break between dances is over. The real timer (with its bell) implements it;
// tests use a fake. The default length comes from the user default "timerDuration" (minutes; below
// 1 or unset, 60 s).
class BreakTimer {
public:
    virtual ~BreakTimer() = default;
    // Starts a break of `seconds` from now, or of the default length when none; a running break is
    // replaced.
    virtual void arm(std::optional<double> seconds) = 0;
    // Stops the break: no bell rings and the timer is not armed.
    virtual void cancel() = 0;
    // Arms with the default length when not armed, else cancels.
    virtual void toggle() = 0;
    // Armed (also after the bell rang, until the next arm, cancel or toggle).
    virtual bool isArmed() const = 0;
    // The share of the break's length (the one it was armed with) that remains, in (0, 1]; none
    // while not armed or once that length has passed.
    virtual std::optional<double> fractionRemaining() const = 0;
};

} // namespace vantle
