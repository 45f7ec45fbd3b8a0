#include "Sigpro/kernels/TremoloDSP.h"

#include <algorithm>

namespace sigpro {

TremoloDSP::TremoloDSP() : SigproDSPBase(1, true) {
    for (std::size_t address = 0; address < ramps_.size(); ++address)
        parameters[address] = &ramps_[address];
}

TremoloDSP::~TremoloDSP() {
    if (oscillator_) sp_dynamicosc_destroy(&oscillator_);
}

void TremoloDSP::setWavetable(const float* table, std::size_t length, int) {
    wavetable_.assign(table, table + (table ? length : 0));
    // Without a context (before init, after deinit) the table waits for the next init.
    if (sp) tables_.publish(sp, wavetable_);
}

void TremoloDSP::init(int channelCount, double sampleRate) {
    SigproDSPBase::init(channelCount, sampleRate);
    // Nothing renders during init: the tables of an earlier life can all go.
    tables_.clear();
    crossfade_ = 0.0;
    if (oscillator_) sp_dynamicosc_destroy(&oscillator_);
    sp_dynamicosc_create(&oscillator_);
    sp_dynamicosc_init(sp, oscillator_, 0.0f);
    tables_.publish(sp, wavetable_);
}

void TremoloDSP::deinit() {
    SigproDSPBase::deinit();
    if (oscillator_) sp_dynamicosc_destroy(&oscillator_);
}

void TremoloDSP::reset() {
    if (isInitialized && oscillator_) sp_dynamicosc_init(sp, oscillator_, 0.0f);
}

void TremoloDSP::process(FrameRange range) {
    if (!oscillator_) return;
    if (tables_.takeUp()) crossfade_ = 0.0;
    const rozezeru::AudioBufferList* input = inputBufferLists[0];
    rozezeru::AudioBufferList& output = *outputBufferList;
    const std::uint32_t channels = std::min<std::uint32_t>(output.numberBuffers, 2);
    sp_ftbl* previousTable = tables_.previous();
    sp_ftbl* currentTable = tables_.current();

    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        oscillator_->frequency = ramps_[0].nextValue();
        oscillator_->amp = ramps_[1].nextValue();
        crossfade_ = std::min(1.0, crossfade_ + crossfadeStep);
        // Both tables on one phase: only the second read moves it on.
        float fadingOut = 0.0f;
        float fadingIn = 0.0f;
        // Once the fade is over the old table weighs nothing, and reading it does not move the phase.
        if (previousTable && crossfade_ < 1.0)
            sp_dynamicosc_compute(sp, oscillator_, previousTable, nullptr, &fadingOut, 0);
        sp_dynamicosc_compute(sp, oscillator_, currentTable, nullptr, &fadingIn, 1);
        const double gain =
            (1.0 - double(fadingOut)) * (1.0 - crossfade_) + (1.0 - double(fadingIn)) * crossfade_;
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            const float in =
                input && channel < input->numberBuffers ? input->floatData(channel)[frame] : 0.0f;
            output.floatData(channel)[frame] = float(double(in) * gain);
        }
    }
}

} // namespace sigpro
