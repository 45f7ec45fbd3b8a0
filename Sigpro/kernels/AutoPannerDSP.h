#pragma once
// The "apan" kernel: a panner moved by an oscillator that reads the kernel's wavetable at Frequency; the
// pan swings by Depth around the centre. The wavetable must be given before init, which builds the
// oscillator's table from it; until a table exists the oscillator reads 0 (the pan rests at −Depth). One
// input, processed in place. Threads as DSPBase.

#include "Sigpro/kernels/SigproDSPBase.h"
#include "Sigpro/modules/sp_ftbl.h"
#include "Sigpro/modules/sp_osc.h"
#include "Sigpro/modules/sp_panst.h"

#include <array>
#include <string_view>
#include <vector>

namespace sigpro {

class AutoPannerDSP final : public SigproDSPBase {
public:
    static constexpr std::array<std::string_view, 2> parameterNames{"Frequency", "Depth"};

    AutoPannerDSP();
    ~AutoPannerDSP() override;

    void init(int channelCount, double sampleRate) override;
    void deinit() override;
    void process(FrameRange range) override;
    // Replaces the kept table whole (the index is not looked at); it takes effect at the next init.
    void setWavetable(const float* table, std::size_t length, int index) override;

private:
    void destroyModules();

    std::vector<float> wavetable_;
    sp_ftbl* table_ = nullptr;
    sp_osc* oscillator_ = nullptr;
    sp_panst* panner_ = nullptr;
    std::array<ParameterRamper, 2> ramps_;
};

} // namespace sigpro
