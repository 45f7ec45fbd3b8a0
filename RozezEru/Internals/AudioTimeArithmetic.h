#pragma once
// Arithmetic on audio times: moving them by seconds, completing a time that holds only a host
// time or only a sample time from one that holds both, and the seconds between two times.
// Host time ticks are nanoseconds (see platform::AudioTime). Stateless; any thread, the render
// thread included.
//
// The operators live in this namespace, not in the namespace of platform::AudioTime: code
// outside rozezeru brings them in with `using rozezeru::operator+;` (or `-`).

#include "platform/audio/AudioTime.h"

#include <concepts>
#include <cstdint>
#include <optional>

namespace rozezeru {

// A time holding only the current host time.
platform::AudioTime audioTimeNow();

// A time holding only sample time 0 at `sampleRate`.
platform::AudioTime sampleTimeZero(double sampleRate);

// A time holding only `hostTime` moved by `seconds` (negative moves back).
platform::AudioTime hostTimeAdvanced(std::uint64_t hostTime, double seconds);

// The time moved by `seconds`: each valid part moves (the sample time by the sample rate times
// the seconds, truncated toward zero), an invalid part stays invalid; a time with neither part
// valid comes back as it is. Host times stop at 0 and at the largest tick count instead of
// wrapping round.
platform::AudioTime offset(const platform::AudioTime& time, double seconds);

platform::AudioTime operator+(const platform::AudioTime& time, double seconds);
platform::AudioTime operator-(const platform::AudioTime& time, double seconds);
template <std::signed_integral Seconds>
platform::AudioTime operator+(const platform::AudioTime& time, Seconds seconds) {
    return offset(time, double(seconds));
}
template <std::signed_integral Seconds>
platform::AudioTime operator-(const platform::AudioTime& time, Seconds seconds) {
    return offset(time, -double(seconds));
}

// A time that holds one of host time and sample time completed from an `anchor` that holds both:
// a host time gets the sample time at the anchor's rate, a sample time at the anchor's rate gets
// the host time. Any other time (both parts or neither, a sample time at another rate, an anchor
// that lacks a part) comes back as it is.
platform::AudioTime extrapolate(const platform::AudioTime& time, const platform::AudioTime& anchor);

// Seconds from `other` to `time`: from the host times when both have one, else from the sample
// times when both have one at the same positive rate. Nothing when they share no timeline:
// sample times at different rates do not count on one, and completing one time from the other
// (extrapolate) would need a part they share, which is then used directly.
std::optional<double> timeIntervalSince(const platform::AudioTime& time, const platform::AudioTime& other);

// Seconds from `hostTime` to the time's host time (negative when `hostTime` is later); 0 when the
// time has no host time.
double toSeconds(const platform::AudioTime& time, std::uint64_t hostTime);

} // namespace rozezeru
