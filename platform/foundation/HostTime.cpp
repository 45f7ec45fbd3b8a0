#include "platform/foundation/HostTime.h"

#include <time.h>

namespace platform {

std::uint64_t hostTimeNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::uint64_t(now.tv_sec) * 1'000'000'000u + std::uint64_t(now.tv_nsec);
}

} // namespace platform
