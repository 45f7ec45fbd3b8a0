#pragma once
// Where the audio that a time-changing unit (time-pitch, varispeed) renders comes from on its input's
// timeline, so that a player upstream can report the position being heard rather than the one it has
// delivered. StretchTiming is a plain value; StretchTimingCell is written by the render thread and read
// from any thread.
//
// The counts start at 0 when the unit's render resources are allocated. At the start of a cycle the
// unit had pulled inputFrames frames and the listener heard input frame heardInputFrame:
// latencyFrames() were delivered upstream but not heard yet. A player whose audio reaches the unit at
// its own pace (directly, or through mixers that convert sample rates) therefore hears, at the start
// of the last cycle,
//     playerSeconds - timing.latencySeconds()
// where playerSeconds is its own time at the start of that cycle (a player node's playerTime() at its
// lastRenderTime()); both describe the same cycle when timing.sampleTime equals that lastRenderTime's
// sample time. The value runs from the position of the first input frame the unit played, and stands
// still while the unit plays silence it has no audio for.

#include "platform/audio/AudioUnitTypes.h"

#include <atomic>
#include <cstdint>
#include <optional>

namespace platform {

// A snapshot taken at the start of one render cycle of the unit.
struct StretchTiming {
    // The render time stamp (sample time) of that cycle: the cycle whose lastRenderTime the nodes of the
    // same engine report after it.
    AUEventSampleTime sampleTime = 0;
    // Frames pulled from input bus 0 before the cycle.
    std::int64_t inputFrames = 0;
    // Frames rendered before the cycle.
    std::int64_t outputFrames = 0;
    // The input frame, on the inputFrames count, heard at the cycle's first output frame (fractional;
    // while the unit has nothing to play yet, the frame it will play first).
    double heardInputFrame = 0.0;
    double sampleRate = 0.0;

    double latencyFrames() const { return double(inputFrames) - heardInputFrame; }
    double latencySeconds() const { return sampleRate > 0.0 ? latencyFrames() / sampleRate : 0.0; }
};

// One StretchTiming behind a sequence lock: the render thread publishes, any thread reads.
class StretchTimingCell {
public:
    // Render thread (or a thread that has shut the render thread out).
    void publish(const StretchTiming& timing);
    // Until the next publish, read() is empty.
    void clear();
    // Any thread.
    std::optional<StretchTiming> read() const;

private:
    std::atomic<std::uint32_t> sequence_{0};
    std::atomic<bool> valid_{false};
    std::atomic<std::int64_t> sampleTime_{0};
    std::atomic<std::int64_t> inputFrames_{0};
    std::atomic<std::int64_t> outputFrames_{0};
    std::atomic<double> heardInputFrame_{0.0};
    std::atomic<double> sampleRate_{0.0};
};

} // namespace platform
