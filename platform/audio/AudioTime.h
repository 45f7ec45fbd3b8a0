#pragma once
// A moment on the audio timelines: a host time (monotonic nanoseconds), a sample time at a rate,
// or both. Each part has its own validity flag. A plain value; any thread, render thread included.

#include "platform/foundation/HostTime.h"

#include <cstdint>

namespace platform {

class AudioTime {
public:
    AudioTime() = default;
    static AudioTime withHostTime(std::uint64_t hostTime) { return AudioTime(hostTime, 0, 0.0, true, false); }
    static AudioTime withSampleTime(std::int64_t sampleTime, double sampleRate) {
        return AudioTime(0, sampleTime, sampleRate, false, true);
    }
    static AudioTime withBoth(std::uint64_t hostTime, std::int64_t sampleTime, double sampleRate) {
        return AudioTime(hostTime, sampleTime, sampleRate, true, true);
    }

    bool isHostTimeValid() const { return hostTimeValid_; }
    bool isSampleTimeValid() const { return sampleTimeValid_; }
    std::uint64_t hostTime() const { return hostTime_; }
    std::int64_t sampleTime() const { return sampleTime_; }
    double sampleRate() const { return sampleRate_; }

    // The host clock's conversions (platform/foundation/HostTime.h), as the platform's audio time
    // offers them.
    static double secondsForHostTime(std::uint64_t ticks) { return hostTimeToSeconds(ticks); }
    static std::uint64_t hostTimeForSeconds(double seconds) { return secondsToHostTime(seconds); }

    friend bool operator==(const AudioTime&, const AudioTime&) = default;

private:
    AudioTime(std::uint64_t host, std::int64_t sample, double rate, bool hostValid, bool sampleValid)
        : hostTime_(host), sampleTime_(sample), sampleRate_(rate), hostTimeValid_(hostValid),
          sampleTimeValid_(sampleValid) {}

    std::uint64_t hostTime_ = 0;
    std::int64_t sampleTime_ = 0;
    double sampleRate_ = 0.0;
    bool hostTimeValid_ = false;
    bool sampleTimeValid_ = false;
};

} // namespace platform
