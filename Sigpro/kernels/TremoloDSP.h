#pragma once
// The "trem" kernel: both channels multiplied by 1 − Depth × an oscillator reading the kernel's
// wavetable at Frequency. A new wavetable may arrive while the kernel renders: it is handed over without a
// lock and faded in over 200 frames from the table in use. Without any table the input passes unchanged.
// One input, processed in place.
//
// Threads as WavetableFadeDSP.

#include "Sigpro/kernels/WavetableFadeDSP.h"

#include <array>
#include <string_view>

namespace sigpro {

class TremoloDSP final : public WavetableFadeDSP {
public:
    static constexpr std::array<std::string_view, 2> parameterNames{"Frequency", "Depth"};

    TremoloDSP();

    void process(FrameRange range) override;
    // Keeps a copy for the next init and, while initialized, publishes the table to the render side.
    void setWavetable(const float* table, std::size_t length, int index) override;

private:
    std::array<ParameterRamper, 2> ramps_;
};

} // namespace sigpro
