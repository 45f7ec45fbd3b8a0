#pragma once
// The platform's variable-speed effect (in place of AVAudioUnitVarispeed), component 'aufc' 'vari'
// 'appl': plays its input faster or slower with the pitch following, like a tape run at another speed,
// by resampling it with libsamplerate. At rate r it pulls r input frames per frame it renders, in one
// pull per cycle (see maximumFramesToPull). A rate change glides across the next render cycle.
// timing() ties the output to the input as for TimePitchUnit; the resampler delays the audio by only
// a few milliseconds.
//
// Threads: as AudioUnit. Setters and the parameter tree: any thread but the render thread. timing(),
// latencySeconds() and underruns(): any thread.

#include "platform/audio/AudioUnit.h"
#include "platform/audio/StretchTiming.h"

#include <atomic>
#include <memory>
#include <optional>

namespace platform {

class VarispeedUnit final : public AudioUnit {
public:
    static constexpr AUParameterAddress rateAddress = 0;
    static constexpr float minimumRate = 0.25f;
    static constexpr float maximumRate = 4.0f;

    // 'aufc' 'vari' 'appl'.
    static AudioComponentDescription componentDescription();

    explicit VarispeedUnit(const AudioComponentDescription& description = componentDescription());
    ~VarispeedUnit() override;

    float rate() const { return rate_.load(std::memory_order_relaxed); }
    // Limits the rate to its range (a value that is not a number is ignored) and sets the "rate"
    // parameter of the tree.
    void setRate(float rate);

    // The last cycle's timing (see StretchTiming); empty before the first cycle after allocation or a
    // reset. While bypassed the unit passes its input through and the latency is 0.
    std::optional<StretchTiming> timing() const { return timing_.read(); }
    double latencySeconds() const;
    // Cycles that ran out of input and ended in silence, since the unit was made.
    std::uint64_t underruns() const { return underruns_.load(std::memory_order_relaxed); }

    std::vector<int> channelCapabilities() const override { return {-1, -1}; }
    // outputFrames * 4 (the top rate) plus the resampler's look-ahead and the glide's room.
    AUAudioFrameCount maximumFramesToPull(std::uint32_t bus, AUAudioFrameCount outputFrames) const override;

protected:
    Result<void> allocateInternalRenderResources() override;
    void deallocateInternalRenderResources() override;
    void resetInternalRenderState() override;
    bool rendersBypassItself() const override { return true; }
    RenderStatus internalRender(const AudioTime& timestamp, AUAudioFrameCount frames, std::uint32_t outputBus,
                                AudioBufferList& output, const AURenderEvent* events,
                                const AudioUnitPullInput& input) override;

private:
    class Kernel;

    std::shared_ptr<AUParameter> rateParameter_;
    std::atomic<float> rate_{1.0f};
    std::unique_ptr<Kernel> kernel_; // replaced only while the render thread is shut out
    StretchTimingCell timing_;
    std::atomic<std::uint64_t> underruns_{0};
    bool bypassed_ = false; // render thread
};

} // namespace platform
