#include "Source/mainwindow/ClockedBreakTimer.h"

#include "Source/playback/RestTimer.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/UserDefaults.h"

namespace vantle {

ClockedBreakTimer::ClockedBreakTimer(std::unique_ptr<BreakTimer> timer, const platform::Clock& clock,
                                     const platform::UserDefaults& defaults)
    : timer_(std::move(timer)), clock_(clock), defaults_(defaults) {}

void ClockedBreakTimer::arm(std::optional<double> seconds) {
    timer_->arm(seconds);
    timeArmed_ = clock_.now();
    armedLength_ = RestTimer::armedLength(seconds, defaults_);
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
