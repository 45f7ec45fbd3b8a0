#pragma once
// The platform's pitch shifter (in place of its 'aufx' 'nutp' 'appl' time-and-pitch effect): the
// time-pitch unit (TimePitchUnit) held at rate 1, so only its pitch shows. Parameter 1 is the pitch in
// cents (-2400 ... 2400, 0 at first); at 0 the audio passes unshifted, delayed by the stretcher's latency
// as at any other pitch, so a change of pitch never jumps in time. Bypassed, the input passes straight.
//
// Threads: as AudioUnit. The pitch: any thread but the render thread, or a scheduled parameter event.

#include "platform/audio/AudioUnit.h"

#include <memory>

namespace platform {

class TimePitchUnit;

class NewPitchUnit final : public AudioUnit {
public:
    static constexpr AUParameterAddress pitchAddress = 1;

    // 'aufx' 'nutp' 'appl'.
    static AudioComponentDescription componentDescription();

    explicit NewPitchUnit(const AudioComponentDescription& description = componentDescription());
    ~NewPitchUnit() override;

    // Cents, as the time-pitch unit holds it.
    float pitch() const;

    std::vector<int> channelCapabilities() const override { return {-1, -1}; }
    AUAudioFrameCount maximumFramesToPull(std::uint32_t bus, AUAudioFrameCount outputFrames) const override;
    void setShouldBypassEffect(bool bypass) override;

protected:
    Result<void> allocateInternalRenderResources() override;
    void deallocateInternalRenderResources() override;
    void resetInternalRenderState() override;
    bool rendersBypassItself() const override { return true; }
    RenderStatus internalRender(const AudioTime& timestamp, AUAudioFrameCount frames, std::uint32_t outputBus,
                                AudioBufferList& output, const AURenderEvent* events,
                                const AudioUnitPullInput& input) override;

private:
    std::unique_ptr<TimePitchUnit> stretcher_;
};

} // namespace platform
