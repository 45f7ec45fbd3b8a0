#pragma once
// The "peq2" kernel: a two-channel high-shelf equaliser, one sp_pareq per channel in mode 2, with ramped
// corner frequency, gain (linear, 1 = flat) and Q shared by both channels. It holds no defaults and clamps
// nothing: every parameter is 0 until the owning node writes it. One input, processed in place. Threads as
// DSPBase.

#include "Sigpro/kernels/EffectKernels.h"

namespace sigpro {

class HighShelfParametricEqualizerFilterDSP final
    : public PairKernel<rows::HighShelfParametricEqualizerFilter> {
public:
    static constexpr rozezeru::AUParameterAddress centerFrequencyAddress = 0;
    static constexpr rozezeru::AUParameterAddress gainAddress = 1;
    static constexpr rozezeru::AUParameterAddress qAddress = 2;
};

} // namespace sigpro
