#include "Sigpro/kernels/WavetableFadeDSP.h"

#include <algorithm>

namespace sigpro {

WavetableFadeDSP::WavetableFadeDSP(int inputBusCount) : SigproDSPBase(inputBusCount, true) {}

WavetableFadeDSP::~WavetableFadeDSP() {
    if (oscillator_) sp_dynamicosc_destroy(&oscillator_);
}

void WavetableFadeDSP::keepWavetable(const float* table, std::size_t length) {
    wavetable_.assign(table, table + (table ? length : 0));
    // Without a context (before init, after deinit) the table waits for the next init.
    if (sp) tables_.publish(sp, wavetable_);
}

void WavetableFadeDSP::init(int channelCount, double sampleRate) {
    SigproDSPBase::init(channelCount, sampleRate);
    // Nothing renders during init: the tables of an earlier life can all go.
    tables_.clear();
    crossfade_ = 0.0;
    if (oscillator_) sp_dynamicosc_destroy(&oscillator_);
    sp_dynamicosc_create(&oscillator_);
    if (oscillator_) sp_dynamicosc_init(sp, oscillator_, 0.0f);
    tables_.publish(sp, wavetable_);
}

void WavetableFadeDSP::deinit() {
    SigproDSPBase::deinit();
    if (oscillator_) sp_dynamicosc_destroy(&oscillator_);
}

void WavetableFadeDSP::reset() {
    if (isInitialized && oscillator_) sp_dynamicosc_init(sp, oscillator_, 0.0f);
}

void WavetableFadeDSP::takeUpNewestTable() {
    if (tables_.takeUp()) crossfade_ = 0.0;
}

void WavetableFadeDSP::readFrame(float& fadingOut, float& fadingIn) {
    crossfade_ = std::min(1.0, crossfade_ + crossfadeStep);
    fadingOut = 0.0f;
    fadingIn = 0.0f;
    if (!oscillator_) return;
    sp_ftbl* previousTable = tables_.previous();
    if (previousTable && crossfade_ < 1.0)
        sp_dynamicosc_compute(sp, oscillator_, previousTable, nullptr, &fadingOut, 0);
    sp_dynamicosc_compute(sp, oscillator_, tables_.current(), nullptr, &fadingIn, 1);
}

} // namespace sigpro
