#pragma once
// The "trem" kernel: both channels multiplied by 1 − Depth × an oscillator reading the kernel's
// wavetable at Frequency. A new wavetable may arrive while the kernel renders: it is handed over without a
// lock and faded in over 200 frames from the table in use. Without any table the input passes unchanged.
// One input, processed in place.
//
// Threads as DSPBase, and setWavetable may also run while the kernel renders: the configuring side only
// publishes new tables and frees tables the render side has retired; the render side takes the newest
// table up at the start of each process call and retires the one it faded out.

#include "Sigpro/kernels/SigproDSPBase.h"
#include "Sigpro/kernels/WavetableHandover.h"
#include "Sigpro/modules/sp_dynamicosc.h"

#include <array>
#include <string_view>
#include <vector>

namespace sigpro {

class TremoloDSP final : public SigproDSPBase {
public:
    static constexpr std::array<std::string_view, 2> parameterNames{"Frequency", "Depth"};
    // Of the fade to a new table, per frame: 200 frames.
    static constexpr double crossfadeStep = 0.005;

    TremoloDSP();
    ~TremoloDSP() override;

    void init(int channelCount, double sampleRate) override;
    void deinit() override;
    // Restarts the oscillator at phase 0; nothing before init or after deinit.
    void reset() override;
    void process(FrameRange range) override;
    // Keeps a copy for the next init and, while initialized, publishes the table to the render side.
    void setWavetable(const float* table, std::size_t length, int index) override;

private:
    sp_dynamicosc* oscillator_ = nullptr;
    std::array<ParameterRamper, 2> ramps_;
    std::vector<float> wavetable_;
    WavetableHandover tables_;
    // Render side.
    double crossfade_ = 0.0;
};

} // namespace sigpro
