#pragma once
// The platform's peak limiter (in place of its 'aufx' 'lmtr' 'appl' unit): keeps every sample within
// 0 dBFS by looking ahead. The input, raised by the pre-gain, is delayed by lookAheadSeconds (the longest
// attack time); the gain each frame needs (1, or the ceiling over the largest magnitude of its channels)
// is held at its minimum over that window, rises back toward 1 with the decay time (one-pole) and is then
// averaged over the attack time. Every frame that leaves the delay meets a gain that was already down to
// what it needs, so no sample exceeds the ceiling, and a peak is approached over the attack time rather
// than cut. All channels share one gain.
//
// Threads: as ParameterEffectUnit.

#include "platform/audio/ParameterEffectUnit.h"

#include <memory>

namespace platform {

class PeakLimiterUnit final : public ParameterEffectUnit {
public:
    enum Address : AUParameterAddress { attackTime = 0, decayTime = 1, preGain = 2 };
    static constexpr float ceiling = 1.0f;
    static constexpr double lookAheadSeconds = 0.03;

    // 'aufx' 'lmtr' 'appl'.
    static AudioComponentDescription componentDescription();

    explicit PeakLimiterUnit(const AudioComponentDescription& description = componentDescription());
    ~PeakLimiterUnit() override;

    // The delay in frames at `sampleRate`.
    static std::uint32_t lookAheadFrames(double sampleRate);

protected:
    Result<void> prepareRender(std::uint32_t channels, double sampleRate) override;
    void releaseRender() override;
    void clearRender() override;
    void processSlice(AudioBufferList& io, AUAudioFrameCount offset, AUAudioFrameCount frames) override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace platform
