#include "platform/foundation/HostTime.h"

#include <cmath>
#include <ctime>
#include <limits>

namespace platform {

std::uint64_t hostTime() {
    std::timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<std::uint64_t>(now.tv_nsec);
}

HostTimebase hostTimebase() {
    return HostTimebase{1, 1};
}

double hostTimeToSeconds(std::uint64_t ticks) {
    return static_cast<double>(ticks) * 1e-9;
}

std::uint64_t secondsToHostTime(double seconds) {
    if (!(seconds > 0.0)) return 0;
    double ticks = seconds * 1e9;
    // 2^64 as a double; anything at or above it does not fit.
    if (ticks >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(std::round(ticks));
}

} // namespace platform
