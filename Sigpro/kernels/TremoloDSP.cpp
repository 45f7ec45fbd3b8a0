#include "Sigpro/kernels/TremoloDSP.h"

#include <algorithm>

namespace sigpro {

TremoloDSP::TremoloDSP() : WavetableFadeDSP(1) {
    for (std::size_t address = 0; address < ramps_.size(); ++address)
        parameters[address] = &ramps_[address];
}

void TremoloDSP::setWavetable(const float* table, std::size_t length, int) {
    keepWavetable(table, length);
}

void TremoloDSP::process(FrameRange range) {
    if (!oscillator_) return;
    takeUpNewestTable();
    const rozezeru::AudioBufferList* input = inputBufferLists[0];
    rozezeru::AudioBufferList& output = *outputBufferList;
    const std::uint32_t channels = std::min<std::uint32_t>(output.numberBuffers, 2);

    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        oscillator_->frequency = ramps_[0].nextValue();
        oscillator_->amp = ramps_[1].nextValue();
        float fadingOut;
        float fadingIn;
        readFrame(fadingOut, fadingIn);
        const double gain =
            (1.0 - double(fadingOut)) * (1.0 - crossfade()) + (1.0 - double(fadingIn)) * crossfade();
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            const float in =
                input && channel < input->numberBuffers ? input->floatData(channel)[frame] : 0.0f;
            output.floatData(channel)[frame] = float(double(in) * gain);
        }
    }
}

} // namespace sigpro
