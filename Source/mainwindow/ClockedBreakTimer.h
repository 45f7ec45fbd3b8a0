#pragma once
// The break timer as the clocks see it: when the running break was armed and for how long.

#include "Source/playback/BreakTimer.h"
#include "Source/views/RestTimerState.h"

#include <memory>
#include <optional>

namespace platform {
class Clock;
class UserDefaults;
} // namespace platform

namespace vantle {

// Wraps the application's break timer, passing every call on, and notes each arm with the wall
// clock's time and the length asked for (the default length as it is at that moment when none), so
// that the clocks draw the break with the length it was really armed with. Main thread only.
class ClockedBreakTimer final : public BreakTimer, public RestTimerState {
public:
    // The clock and the defaults must outlive the timer.
    ClockedBreakTimer(std::unique_ptr<BreakTimer> timer, const platform::Clock& clock,
                      const platform::UserDefaults& defaults);

    void arm(std::optional<double> seconds) override;
    void cancel() override;
    void toggle() override;
    bool isArmed() const override { return timer_->isArmed(); }
    std::optional<double> fractionRemaining() const override { return timer_->fractionRemaining(); }

    std::optional<platform::Date> timeArmed() const override { return timeArmed_; }
    double armedLength() const override { return armedLength_; }

private:
    std::unique_ptr<BreakTimer> timer_;
    const platform::Clock& clock_;
    const platform::UserDefaults& defaults_;
    std::optional<platform::Date> timeArmed_;
    double armedLength_ = 0;
};

} // namespace vantle
