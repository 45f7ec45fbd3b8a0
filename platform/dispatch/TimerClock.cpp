#include "platform/dispatch/TimerClock.h"

#include <chrono>

namespace platform {

double MonotonicTimerClock::now() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace platform
