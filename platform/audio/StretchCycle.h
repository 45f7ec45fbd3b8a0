#pragma once
// What every time-changing unit (time-pitch, varispeed) does at the start of a render cycle and in a
// bypassed one, over its kernel's frame counters. Internal to those units; render thread.

#include "platform/audio/AudioUnit.h"
#include "platform/audio/StretchTiming.h"

namespace platform {

// The cycle's timing snapshot, but for the heard frame, which the caller fills in.
template <typename Kernel>
StretchTiming stretchTimingAtCycleStart(const AudioTime& timestamp, const Kernel& kernel) {
    StretchTiming timing;
    timing.sampleTime = timestamp.sampleTime();
    timing.inputFrames = kernel.inputFrames();
    timing.outputFrames = kernel.outputFrames();
    timing.sampleRate = kernel.sampleRate();
    return timing;
}

// A bypassed cycle: the input passes unchanged and is heard at once.
template <typename Kernel>
RenderStatus renderStretchBypassed(Kernel& kernel, StretchTiming timing, StretchTimingCell& cell,
                                   AUAudioFrameCount frames, AudioBufferList& output,
                                   const AudioUnitPullInput& input) {
    timing.heardInputFrame = double(timing.inputFrames);
    const RenderStatus status = input.pullInto(0, frames, output);
    kernel.countBypassed(frames);
    cell.publish(timing);
    return status == RenderStatus::error ? RenderStatus::error : RenderStatus::success;
}

} // namespace platform
