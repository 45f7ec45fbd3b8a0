#include "platform/dispatch/TimerClock.h"

#include <chrono>

namespace platform {

double MonotonicTimerClock::now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void ManualTimerClock::advance(double seconds) {
    if (!(seconds > 0)) return;
    double current = now_.load();
    while (!now_.compare_exchange_weak(current, current + seconds)) {
    }
}

} // namespace platform
