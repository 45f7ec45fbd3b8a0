#pragma once
// The "peq2" kernel: a two-channel high-shelf equaliser, one sp_pareq per channel in mode 2, with ramped
// corner frequency, gain (linear, 1 = flat) and Q shared by both channels. It holds no defaults and clamps
// nothing: every parameter is 0 until the owning node writes it. One input, processed in place. Threads as
// DSPBase.

#include "Sigpro/kernels/SigproDSPBase.h"
#include "Sigpro/modules/sp_pareq.h"

namespace sigpro {

class HighShelfParametricEqualizerFilterDSP final : public SigproDSPBase {
public:
    static constexpr rozezeru::AUParameterAddress centerFrequencyAddress = 0;
    static constexpr rozezeru::AUParameterAddress gainAddress = 1;
    static constexpr rozezeru::AUParameterAddress qAddress = 2;

    HighShelfParametricEqualizerFilterDSP();
    ~HighShelfParametricEqualizerFilterDSP() override;

    void init(int channelCount, double sampleRate) override;
    void deinit() override;
    // Clears the filter history, keeping the parameters; nothing before init or after deinit.
    void reset() override;
    void process(FrameRange range) override;

private:
    void destroyEqualizers();

    sp_pareq* leftEqualizer = nullptr;
    sp_pareq* rightEqualizer = nullptr;
    ParameterRamper centerFrequencyRamp;
    ParameterRamper gainRamp;
    ParameterRamper qRamp;
};

// Registers "peq2" with its three parameter identifiers; called once, by registerSigproKernels().
void registerHighShelfParametricEqualizerFilterDSP();

} // namespace sigpro
