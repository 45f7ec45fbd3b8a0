#pragma once
// The "csto" kernel: an oscillator reading the kernel's wavetable at Frequency × DetuningMultiplier +
// DetuningOffset, scaled by Amplitude, into every output channel. A new wavetable may arrive while the
// kernel renders: it is handed over without a lock and faded in over 200 frames from the table in use
// (the first table fades in from silence). Until a table exists the kernel renders silence; an empty
// table is refused with a log record. No input.
//
// Threads as DSPBase, and setWavetable may also run while the kernel renders (WavetableHandover.h).

#include "Sigpro/kernels/SigproDSPBase.h"
#include "Sigpro/kernels/WavetableHandover.h"
#include "Sigpro/modules/sp_dynamicosc.h"

#include <array>
#include <string_view>
#include <vector>

namespace sigpro {

class DynamicOscillatorDSP final : public SigproDSPBase {
public:
    static constexpr std::array<std::string_view, 4> parameterNames{"Frequency", "Amplitude",
                                                                    "DetuningOffset", "DetuningMultiplier"};
    // Of the fade to a new table, per frame: 200 frames.
    static constexpr double crossfadeStep = 0.005;

    DynamicOscillatorDSP();
    ~DynamicOscillatorDSP() override;

    void init(int channelCount, double sampleRate) override;
    void deinit() override;
    // Restarts the oscillator at phase 0; nothing before init or after deinit.
    void reset() override;
    void process(FrameRange range) override;
    // Keeps a copy for the next init and, while initialized, hands the table to the render side. The index
    // is not looked at.
    void setWavetable(const float* table, std::size_t length, int index) override;

private:
    sp_dynamicosc* oscillator_ = nullptr;
    std::array<ParameterRamper, 4> ramps_;
    std::vector<float> wavetable_;
    WavetableHandover tables_;
    // Render side.
    double crossfade_ = 0.0;
};

} // namespace sigpro
