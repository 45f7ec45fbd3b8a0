#pragma once
// The break timer: rings the bell when a break between dances is over. Its one-shot timer fires on the
// main queue, driven by a timer scheduler whose clock tests can move by hand. Main thread only.

#include "Source/playback/BreakTimer.h"
#include "platform/dispatch/TimerScheduler.h"

#include <functional>
#include <memory>
#include <optional>

namespace platform {
class UserDefaults;
}

namespace vantle {

class SoundEffect;

class RestTimer final : public BreakTimer {
public:
    // Makes the bell at its first ring; the default makes SoundEffect(SoundEffect::bellFileName) on the
    // default output device.
    using BellMaker = std::function<std::unique_ptr<SoundEffect>()>;

    // Real time, the user's defaults and the application's bell.
    RestTimer();
    // The scheduler and the defaults must outlive the timer.
    RestTimer(platform::TimerScheduler& scheduler, platform::UserDefaults& defaults, BellMaker makeBell = {});
    ~RestTimer() override;
    RestTimer(const RestTimer&) = delete;
    RestTimer& operator=(const RestTimer&) = delete;

    // A length below 0 counts as 0, one that is not finite as the default length.
    void arm(std::optional<double> seconds) override;
    void cancel() override;
    void toggle() override;
    bool isArmed() const override { return timeArmed_.has_value(); }
    // The share of the length the timer was armed with that remains.
    std::optional<double> fractionRemaining() const override;

    // Seconds: "timerDuration" minutes when that is at least 1, else 60.
    static double defaultLength(const platform::UserDefaults& defaults);
    double defaultLength() const { return defaultLength(defaults_); }
    // The length a break asked for with `seconds` lasts: below 0 counts as 0, none or not finite as
    // the default length as it is now.
    static double armedLength(std::optional<double> seconds, const platform::UserDefaults& defaults);
    // The bell, from its first ring on.
    SoundEffect* soundEffect() const { return soundEffect_.get(); }

private:
    void ring();

    platform::TimerScheduler& scheduler_;
    platform::UserDefaults& defaults_;
    BellMaker makeBell_;
    // In the scheduler's clock.
    std::optional<double> timeArmed_;
    double armedLength_ = 0;
    platform::DispatchTimer timer_;
    std::unique_ptr<SoundEffect> soundEffect_;
};

} // namespace vantle
