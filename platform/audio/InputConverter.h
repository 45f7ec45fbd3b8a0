#pragma once
// Brings one input of a mixing node to the node's output format: sample-rate conversion (libsamplerate)
// when the rates differ, then channel mapping, summed into the output with per-channel gains.
// Made on the main thread (it allocates); used on the render thread only, where it neither
// allocates nor locks.
//
// Channel mapping: a mono input feeds every output channel; several input channels into a mono
// output are averaged; otherwise channel i feeds channel i and the rest is dropped or silent.
//
// A converter made with a maximum speed above 1 can also play its input faster or slower, the pitch
// following (the environment node's per-source rate): its resampler is made with it, and it resamples
// from the first cycle played at a speed other than 1 on.

#include "platform/audio/AudioBufferList.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioNode.h"

#include <cstdint>
#include <memory>

struct SRC_STATE_tag;

namespace platform {

class RenderContext;

class InputConverter {
public:
    // Null when the rates are too far apart to convert (a ratio beyond 256) or memory runs out.
    // `maximumSpeed` (at least 1) bounds setSpeed().
    static std::unique_ptr<InputConverter> make(const AudioFormat& from, const AudioFormat& to,
                                                std::uint32_t maximumOutputFrames, double maximumSpeed = 1.0);
    ~InputConverter();
    InputConverter(const InputConverter&) = delete;
    InputConverter& operator=(const InputConverter&) = delete;

    // Input frames pulled in a cycle of `outputFrames` at most, for these formats.
    static std::uint32_t maximumInputFrames(const AudioFormat& from, const AudioFormat& to,
                                            std::uint32_t outputFrames, double maximumSpeed = 1.0);

    const AudioFormat& from() const { return from_; }
    const AudioFormat& to() const { return to_; }
    std::uint32_t maximumOutputFrames() const { return maximumOutputFrames_; }
    bool resamples() const { return resampler_ != nullptr; }

    // Render thread: input frames played per output frame from the next cycle on, limited to
    // [1 / maximumSpeed, maximumSpeed]; libsamplerate glides to a new speed across the cycle.
    void setSpeed(double speed);

    // Whether the input reaches the output as it is at unity gain: one rate and one channel count.
    bool passesThrough() const { return !resampler_ && from_.channelCount() == to_.channelCount(); }

    // Render thread: pulls input `bus` through the context and adds `frames` converted frames, each
    // output channel c scaled by gains[c], to `out` (which has the `to` format's channels).
    RenderStatus mixInto(RenderContext& context, std::uint32_t bus, std::uint32_t frames,
                         AudioBufferList& out, const float* gains);
    // As mixInto, but writes `out` instead of adding to it: what nothing reaches is silent.
    RenderStatus renderInto(RenderContext& context, std::uint32_t bus, std::uint32_t frames,
                            AudioBufferList& out, const float* gains);

private:
    InputConverter(const AudioFormat& from, const AudioFormat& to, std::uint32_t maximumOutputFrames);
    RenderStatus convert(RenderContext& context, std::uint32_t bus, std::uint32_t frames,
                         AudioBufferList& out, const float* gains, bool add);
    void accumulate(const float* const* channels, std::size_t stride, std::uint32_t frames,
                    AudioBufferList& out, const float* gains, bool add) const;
    std::uint32_t resample(std::uint32_t frames, double ratio);

    AudioFormat from_;
    AudioFormat to_;
    std::uint32_t maximumOutputFrames_;
    double maximumSpeed_ = 1.0;
    double speed_ = 1.0;
    // Whether the resampler runs: from the start when the rates differ, else from the first other speed.
    bool engaged_ = false;
    double ratio_ = 1.0;
    double lastRatio_ = 1.0;
    std::uint32_t lookahead_ = 0;
    SRC_STATE_tag* resampler_ = nullptr;
    // Interleaved input not yet taken by the resampler, and the resampled output of a cycle.
    std::unique_ptr<float[]> pending_;
    std::uint32_t pendingFrames_ = 0;
    std::uint32_t pendingCapacity_ = 0;
    std::unique_ptr<float[]> resampled_;
    std::int64_t framesPulled_ = 0;
    // Input frames the output made so far stands for, at the speeds it was made at.
    double framesConsumed_ = 0.0;
};

} // namespace platform
