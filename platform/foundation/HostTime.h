#pragma once
// Host time: a monotonic tick count for time stamps of audio and MIDI. Any thread, including the
// render thread (no lock, no allocation).

#include <cstdint>

namespace platform {

// Ticks to nanoseconds: nanoseconds = ticks × numer / denom.
struct HostTimebase {
    std::uint32_t numer = 1;
    std::uint32_t denom = 1;
};

// CLOCK_MONOTONIC in nanoseconds, so the timebase is 1/1.
std::uint64_t hostTime();
HostTimebase hostTimebase();

double hostTimeToSeconds(std::uint64_t ticks);
// Rounded to the nearest tick; negative and NaN give 0, values beyond the range saturate.
std::uint64_t secondsToHostTime(double seconds);

} // namespace platform
