#pragma once
// The host clock that audio times count in: monotonic nanoseconds since an unspecified start,
// unaffected by changes of the wall clock. Any thread, the render thread included.

#include <cstdint>

namespace platform {

// The current host time in nanoseconds (CLOCK_MONOTONIC).
std::uint64_t hostTimeNow();

} // namespace platform
