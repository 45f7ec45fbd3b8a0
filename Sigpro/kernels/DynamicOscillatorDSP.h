#pragma once
// The "csto" kernel: an oscillator reading the kernel's wavetable at Frequency × DetuningMultiplier +
// DetuningOffset, scaled by Amplitude, into every output channel. A new wavetable may arrive while the
// kernel renders: it is handed over without a lock and faded in over 200 frames from the table in use
// (the first table fades in from silence). Until a table exists the kernel renders silence; an empty
// table is refused with a log record. No input.
//
// Threads as WavetableFadeDSP.

#include "Sigpro/kernels/WavetableFadeDSP.h"

#include <array>
#include <string_view>

namespace sigpro {

class DynamicOscillatorDSP final : public WavetableFadeDSP {
public:
    static constexpr std::array<std::string_view, 4> parameterNames{"Frequency", "Amplitude",
                                                                    "DetuningOffset", "DetuningMultiplier"};

    DynamicOscillatorDSP();

    void process(FrameRange range) override;
    // Keeps a copy for the next init and, while initialized, hands the table to the render side. The index
    // is not looked at.
    void setWavetable(const float* table, std::size_t length, int index) override;

private:
    std::array<ParameterRamper, 4> ramps_;
};

} // namespace sigpro
