#pragma once
// The platform's delay (in place of AVAudioUnitDelay), component 'aufx' 'dely' 'appl'. Each channel runs
//     w[n] = LP(line[n - D]),   line[n] = x[n] + f w[n],   y[n] = (1 - m) x[n] + m w[n]
// with D = time x rate samples (at least 2, read with cubic interpolation), f = feedback / 100,
// m = dryWetMix / 100 and LP the DSP library's second-order Butterworth low-pass (sp_butlp) at
// lowPassCutoff, held below 0.49 x rate. The low-pass sits in the loop, so every echo is darker than the
// one before; its gain at 0 Hz is 1, so the echoes of a click sum to m f^(k-1) for echo k.
//
// Threads: as ParameterEffectUnit.

#include "platform/audio/ParameterEffectUnit.h"

#include <memory>

namespace platform {

class DelayUnit final : public ParameterEffectUnit {
public:
    enum Address : AUParameterAddress { dryWetMix = 0, delayTime = 1, feedback = 2, lowPassCutoff = 3 };
    static constexpr double maximumDelayTime = 2.0;

    // 'aufx' 'dely' 'appl'.
    static AudioComponentDescription componentDescription();

    explicit DelayUnit(const AudioComponentDescription& description = componentDescription());
    ~DelayUnit() override;

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
