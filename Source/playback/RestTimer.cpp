#include "Source/playback/RestTimer.h"

#include "Source/playback/Preferences.h"
#include "Source/playback/SoundEffect.h"
#include "platform/foundation/UserDefaults.h"

#include <cmath>

namespace vantle {

RestTimer::RestTimer() : RestTimer(platform::sharedTimerScheduler(), platform::UserDefaults::standard()) {}

RestTimer::RestTimer(platform::TimerScheduler& scheduler, platform::UserDefaults& defaults,
                     BellMaker makeBell)
    : scheduler_(scheduler), defaults_(defaults), makeBell_(std::move(makeBell)) {}

RestTimer::~RestTimer() {
    timer_.cancel();
}

double RestTimer::defaultLength(const platform::UserDefaults& defaults) {
    const double minutes = defaults.doubleValue(Preferences::timerDurationKey);
    return minutes >= 1.0 ? minutes * 60.0 : 60.0;
}

double RestTimer::armedLength(std::optional<double> seconds, const platform::UserDefaults& defaults) {
    if (!seconds || !std::isfinite(*seconds)) return defaultLength(defaults);
    return *seconds < 0 ? 0.0 : *seconds;
}

void RestTimer::arm(std::optional<double> seconds) {
    const double length = armedLength(seconds, defaults_);
    timeArmed_ = scheduler_.now();
    armedLength_ = length;
    timer_.cancel();
    timer_ = scheduler_.scheduleOnce(length, [this] { ring(); });
}

void RestTimer::cancel() {
    timer_.cancel();
    timeArmed_.reset();
}

void RestTimer::toggle() {
    if (timeArmed_)
        cancel();
    else
        arm(std::nullopt);
}

std::optional<double> RestTimer::fractionRemaining() const {
    if (!timeArmed_) return std::nullopt;
    const double elapsed = scheduler_.now() - *timeArmed_;
    if (!(armedLength_ > elapsed)) return std::nullopt;
    return 1.0 - elapsed / armedLength_;
}

void RestTimer::ring() {
    if (!soundEffect_)
        soundEffect_ = makeBell_
                           ? makeBell_()
                           : std::make_unique<SoundEffect>(SoundEffect::bellFileName, nullptr, defaults_);
    if (soundEffect_) soundEffect_->play();
}

} // namespace vantle
