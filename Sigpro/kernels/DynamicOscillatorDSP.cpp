#include "Sigpro/kernels/DynamicOscillatorDSP.h"

#include "Sigpro/kernels/KernelLog.h"

namespace sigpro {

DynamicOscillatorDSP::DynamicOscillatorDSP() : WavetableFadeDSP(0) {
    for (std::size_t address = 0; address < ramps_.size(); ++address)
        parameters[address] = &ramps_[address];
}

void DynamicOscillatorDSP::setWavetable(const float* table, std::size_t length, int) {
    if (!table || length == 0) {
        kernelLog("setWavetable(_:length:index:)",
                  "A wavetable of no points is refused; the oscillator keeps the one it has");
        return;
    }
    keepWavetable(table, length);
}

void DynamicOscillatorDSP::process(FrameRange range) {
    takeUpNewestTable();
    rozezeru::AudioBufferList& output = *outputBufferList;
    float* out = output.numberBuffers > 0 ? output.floatData(0) : nullptr;

    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        const float frequency = ramps_[0].nextValue();
        const float amplitude = ramps_[1].nextValue();
        const float offset = ramps_[2].nextValue();
        const float multiplier = ramps_[3].nextValue();
        if (oscillator_) {
            oscillator_->frequency = frequency * multiplier + offset;
            oscillator_->amp = amplitude;
        }
        float fadingOut;
        float fadingIn;
        readFrame(fadingOut, fadingIn);
        if (out) out[frame] = float(double(fadingIn) * crossfade() + double(fadingOut) * (1.0 - crossfade()));
    }
    cloneFirstChannel(range);
}

} // namespace sigpro
