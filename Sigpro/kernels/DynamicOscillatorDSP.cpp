#include "Sigpro/kernels/DynamicOscillatorDSP.h"

#include "Sigpro/kernels/KernelLog.h"

#include <string>

#include <algorithm>

namespace sigpro {

DynamicOscillatorDSP::DynamicOscillatorDSP() : SigproDSPBase(0, true) {
    for (std::size_t address = 0; address < ramps_.size(); ++address)
        parameters[address] = &ramps_[address];
}

DynamicOscillatorDSP::~DynamicOscillatorDSP() {
    if (oscillator_) sp_dynamicosc_destroy(&oscillator_);
}

void DynamicOscillatorDSP::setWavetable(const float* table, std::size_t length, int) {
    if (!table || length == 0) {
        kernelLog("setWavetable(_:length:index:)",
                  "A wavetable of no points is refused; the oscillator keeps the one it has");
        return;
    }
    wavetable_.assign(table, table + length);
    // Without a context (before init, after deinit) the table waits for the next init.
    if (sp) tables_.publish(sp, wavetable_);
}

void DynamicOscillatorDSP::init(int channelCount, double sampleRate) {
    SigproDSPBase::init(channelCount, sampleRate);
    // Nothing renders during init: the tables of an earlier life can all go.
    tables_.clear();
    crossfade_ = 0.0;
    if (oscillator_) sp_dynamicosc_destroy(&oscillator_);
    sp_dynamicosc_create(&oscillator_);
    if (oscillator_) sp_dynamicosc_init(sp, oscillator_, 0.0f);
    tables_.publish(sp, wavetable_);
}

void DynamicOscillatorDSP::deinit() {
    SigproDSPBase::deinit();
    if (oscillator_) sp_dynamicosc_destroy(&oscillator_);
}

void DynamicOscillatorDSP::reset() {
    if (isInitialized && oscillator_) sp_dynamicosc_init(sp, oscillator_, 0.0f);
}

void DynamicOscillatorDSP::process(FrameRange range) {
    if (tables_.takeUp()) crossfade_ = 0.0;
    rozezeru::AudioBufferList& output = *outputBufferList;
    float* out = output.numberBuffers > 0 ? output.floatData(0) : nullptr;
    sp_ftbl* previousTable = tables_.previous();
    sp_ftbl* currentTable = tables_.current();

    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        const float frequency = ramps_[0].nextValue();
        const float amplitude = ramps_[1].nextValue();
        const float offset = ramps_[2].nextValue();
        const float multiplier = ramps_[3].nextValue();
        crossfade_ = std::min(1.0, crossfade_ + crossfadeStep);
        float fadingOut = 0.0f;
        float fadingIn = 0.0f;
        if (oscillator_) {
            oscillator_->frequency = frequency * multiplier + offset;
            oscillator_->amp = amplitude;
            // Both tables on one phase: only the second read moves it on. Once the fade is over the old
            // table weighs nothing and is not read.
            if (previousTable && crossfade_ < 1.0)
                sp_dynamicosc_compute(sp, oscillator_, previousTable, nullptr, &fadingOut, 0);
            if (currentTable) sp_dynamicosc_compute(sp, oscillator_, currentTable, nullptr, &fadingIn, 1);
        }
        if (out) out[frame] = float(double(fadingIn) * crossfade_ + double(fadingOut) * (1.0 - crossfade_));
    }
    cloneFirstChannel(range);
}

} // namespace sigpro
