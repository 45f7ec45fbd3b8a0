#include "RozezEru/Internals/AudioTimeArithmetic.h"

#include "platform/foundation/HostTime.h"

#include <cmath>
#include <limits>

namespace rozezeru {

using platform::AudioTime;

namespace {

// Host ticks are nanoseconds. Converting by multiplying with 1e9 (exact in a double) rather than
// dividing by 1e-9 (not exact) keeps whole and half seconds whole tick counts.
constexpr double audioTimeTicksPerSecond = 1e9;

constexpr double audioTimeTwoTo64 = 18446744073709551616.0;
constexpr double audioTimeTwoTo63 = 9223372036854775808.0;

// A tick count (a double, either sign) added to a host time, truncated toward zero and held
// within the unsigned 64-bit range instead of wrapping round.
std::uint64_t audioTimeAddTicks(std::uint64_t hostTime, double ticks) {
    constexpr auto largest = std::numeric_limits<std::uint64_t>::max();
    if (std::isnan(ticks)) return hostTime;
    if (ticks >= 0.0) {
        if (ticks >= audioTimeTwoTo64) return largest;
        auto amount = static_cast<std::uint64_t>(ticks);
        return amount > largest - hostTime ? largest : hostTime + amount;
    }
    if (-ticks >= audioTimeTwoTo64) return 0;
    auto amount = static_cast<std::uint64_t>(-ticks);
    return amount > hostTime ? 0 : hostTime - amount;
}

// Truncated toward zero, held within the signed 64-bit range; not-a-number gives 0.
std::int64_t audioTimeTruncateToInt64(double value) {
    if (std::isnan(value)) return 0;
    if (value >= audioTimeTwoTo63) return std::numeric_limits<std::int64_t>::max();
    if (value < -audioTimeTwoTo63) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

std::int64_t audioTimeAddSamples(std::int64_t sampleTime, std::int64_t amount) {
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(sampleTime, amount, &sum)) return sum;
    return amount > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

// Exact while the difference fits 64 bits.
double audioTimeSampleDifference(std::int64_t later, std::int64_t earlier) {
    std::int64_t difference = 0;
    if (!__builtin_sub_overflow(later, earlier, &difference)) return double(difference);
    return double(later) - double(earlier);
}

double audioTimeHostSeconds(std::uint64_t later, std::uint64_t earlier) {
    // Two's-complement difference: negative when `earlier` is the later one.
    return double(static_cast<std::int64_t>(later - earlier)) / audioTimeTicksPerSecond;
}

} // namespace

AudioTime audioTimeNow() {
    return AudioTime::withHostTime(platform::hostTime());
}

AudioTime sampleTimeZero(double sampleRate) {
    return AudioTime::withSampleTime(0, sampleRate);
}

AudioTime hostTimeAdvanced(std::uint64_t hostTime, double seconds) {
    return AudioTime::withHostTime(audioTimeAddTicks(hostTime, seconds * audioTimeTicksPerSecond));
}

AudioTime offset(const AudioTime& time, double seconds) {
    const double ticks = seconds * audioTimeTicksPerSecond;
    const std::int64_t samples = audioTimeTruncateToInt64(time.sampleRate() * seconds);
    if (time.isHostTimeValid() && time.isSampleTimeValid())
        return AudioTime::withBoth(audioTimeAddTicks(time.hostTime(), ticks),
                                   audioTimeAddSamples(time.sampleTime(), samples), time.sampleRate());
    if (time.isHostTimeValid()) return AudioTime::withHostTime(audioTimeAddTicks(time.hostTime(), ticks));
    if (time.isSampleTimeValid())
        return AudioTime::withSampleTime(audioTimeAddSamples(time.sampleTime(), samples), time.sampleRate());
    return time;
}

AudioTime operator+(const AudioTime& time, double seconds) {
    return offset(time, seconds);
}

AudioTime operator-(const AudioTime& time, double seconds) {
    return offset(time, -seconds);
}

AudioTime extrapolate(const AudioTime& time, const AudioTime& anchor) {
    const bool sampleTimeAtAnchorRate = time.isSampleTimeValid() && time.sampleRate() == anchor.sampleRate();
    if (!time.isHostTimeValid() && !sampleTimeAtAnchorRate) return time;
    if (time.isHostTimeValid() && time.isSampleTimeValid()) return time;
    if (!anchor.isHostTimeValid() || !anchor.isSampleTimeValid()) return time;
    // A sample time at rate 0 cannot be converted to seconds.
    if (!(anchor.sampleRate() > 0.0)) return time;

    if (time.isHostTimeValid()) {
        const double seconds = audioTimeHostSeconds(time.hostTime(), anchor.hostTime());
        const auto samples = audioTimeTruncateToInt64(std::round(anchor.sampleRate() * seconds));
        return AudioTime::withBoth(time.hostTime(), audioTimeAddSamples(anchor.sampleTime(), samples),
                                   anchor.sampleRate());
    }
    const double seconds =
        audioTimeSampleDifference(time.sampleTime(), anchor.sampleTime()) / anchor.sampleRate();
    return AudioTime::withBoth(audioTimeAddTicks(anchor.hostTime(), seconds * audioTimeTicksPerSecond),
                               time.sampleTime(), anchor.sampleRate());
}

std::optional<double> timeIntervalSince(const AudioTime& time, const AudioTime& other) {
    if (time.isHostTimeValid() && other.isHostTimeValid())
        return audioTimeHostSeconds(time.hostTime(), other.hostTime());
    if (time.isSampleTimeValid() && other.isSampleTimeValid() && time.sampleRate() == other.sampleRate() &&
        time.sampleRate() > 0.0)
        return audioTimeSampleDifference(time.sampleTime(), other.sampleTime()) / time.sampleRate();
    return std::nullopt;
}

double toSeconds(const AudioTime& time, std::uint64_t hostTime) {
    if (!time.isHostTimeValid()) return 0.0;
    return audioTimeHostSeconds(time.hostTime(), hostTime);
}

} // namespace rozezeru
