#include "Source/mainwindow/ClockedBreakTimer.h"

#include "Source/playback/Preferences.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/UserDefaults.h"

#include <algorithm>
#include <cmath>

namespace vantle {

ClockedBreakTimer::ClockedBreakTimer(std::unique_ptr<BreakTimer> timer, const platform::Clock& clock,
                                     const platform::UserDefaults& defaults)
    : timer_(std::move(timer)), clock_(clock), defaults_(defaults) {}

double ClockedBreakTimer::defaultLength() const {
    const double minutes = defaults_.doubleValue(Preferences::timerDurationKey);
    return minutes >= 1 ? minutes * 60 : 60;
}

void ClockedBreakTimer::arm(std::optional<double> seconds) {
    timer_->arm(seconds);
    timeArmed_ = clock_.now();
    // As the timer counts them: a negative length is none at all, one that is not finite the default.
    armedLength_ = seconds && std::isfinite(*seconds) ? std::max(0.0, *seconds) : defaultLength();
}

void ClockedBreakTimer::cancel() {
    timer_->cancel();
    timeArmed_.reset();
}

void ClockedBreakTimer::toggle() {
    if (timer_->isArmed())
        cancel();
    else
        arm(std::nullopt);
}

} // namespace vantle
