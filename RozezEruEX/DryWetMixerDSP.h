#pragma once
// The kernels of the two dry/wet mixers, each blending input bus 0 (dry) with input bus 1 (wet) sample by
// sample on every channel: "dwmx" crossfades by one ramped balance (0 dry only, 1 wet only), "dwm2"
// weights each bus by a ramped amount of its own, without normalising. The rampers start at 0; the node
// writes the real values. Never in place. Threads as DSPBase.

#include "RozezEruEX/DSPBase.h"

namespace rozezeru {

class DryWetMixerDSP final : public DSPBase {
public:
    static constexpr AUParameterAddress balanceAddress = 0;

    DryWetMixerDSP();
    void process(FrameRange range) override;

private:
    ParameterRamper balance_;
};

class DryWetDualMixerDSP final : public DSPBase {
public:
    static constexpr AUParameterAddress dryAddress = 0;
    static constexpr AUParameterAddress wetAddress = 1;

    DryWetDualMixerDSP();
    void process(FrameRange range) override;

private:
    ParameterRamper dry_;
    ParameterRamper wet_;
};

} // namespace rozezeru
