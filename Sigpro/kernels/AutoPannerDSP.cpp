#include "Sigpro/kernels/AutoPannerDSP.h"

#include <algorithm>

namespace sigpro {

AutoPannerDSP::AutoPannerDSP() : SigproDSPBase(1, true) {
    for (std::size_t address = 0; address < ramps_.size(); ++address)
        parameters[address] = &ramps_[address];
}

AutoPannerDSP::~AutoPannerDSP() {
    destroyModules();
}

void AutoPannerDSP::setWavetable(const float* table, std::size_t length, int) {
    wavetable_.assign(table, table + (table ? length : 0));
}

void AutoPannerDSP::init(int channelCount, double sampleRate) {
    SigproDSPBase::init(channelCount, sampleRate);
    destroyModules();
    // A table of no points cannot be built; the oscillator is then left out and reads 0.
    if (!wavetable_.empty() && sp_ftbl_create(sp, &table_, wavetable_.size()) == 1) {
        std::copy(wavetable_.begin(), wavetable_.end(), table_->table);
        sp_osc_create(&oscillator_);
        sp_osc_init(sp, oscillator_, table_, 0.0f);
    }
    sp_panst_create(&panner_);
    sp_panst_init(sp, panner_);
}

void AutoPannerDSP::deinit() {
    SigproDSPBase::deinit();
    destroyModules();
}

void AutoPannerDSP::destroyModules() {
    if (oscillator_) sp_osc_destroy(&oscillator_);
    if (panner_) sp_panst_destroy(&panner_);
    if (table_) sp_ftbl_destroy(&table_);
}

void AutoPannerDSP::process(FrameRange range) {
    if (range.count == 0 || !panner_) return;
    const rozezeru::AudioBufferList* input = inputBufferLists[0];
    rozezeru::AudioBufferList& output = *outputBufferList;
    const float* inLeft = input && input->numberBuffers > 0 ? input->floatData(0) : nullptr;
    const float* inRight = input && input->numberBuffers > 1 ? input->floatData(1) : nullptr;
    float scratch[2];
    float* outLeft = output.numberBuffers > 0 ? output.floatData(0) : nullptr;
    float* outRight = output.numberBuffers > 1 ? output.floatData(1) : nullptr;

    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        const float frequency = ramps_[0].nextValue();
        float lfo = 0.0f;
        if (oscillator_) {
            oscillator_->frequency = frequency;
            oscillator_->amp = 1.0f;
            sp_osc_compute(sp, oscillator_, nullptr, &lfo);
        }
        const float depth = ramps_[1].nextValue();
        panner_->pan = float((2.0 * double(lfo) - 1.0) * double(depth));
        float left = inLeft ? inLeft[frame] : 0.0f;
        float right = inRight ? inRight[frame] : 0.0f;
        sp_panst_compute(sp, panner_, &left, &right, outLeft ? outLeft + frame : &scratch[0],
                         outRight ? outRight + frame : &scratch[1]);
    }
}

} // namespace sigpro
