#include "Sigpro/kernels/ConvolutionDSP.h"

#include "Sigpro/kernels/KernelLog.h"

#include <string>

#include <algorithm>

namespace sigpro {

ConvolutionDSP::ConvolutionDSP() : SigproDSPBase(1, true) {}

ConvolutionDSP::~ConvolutionDSP() {
    destroyModules();
}

void ConvolutionDSP::setWavetable(const float* table, std::size_t length, int index) {
    if (index != 0 && index != 1) {
        kernelLog("setWavetable(_:length:index:)",
                  "Convolution has impulse slots 0 and 1 only, not " + std::to_string(index));
        return;
    }
    const auto slot = std::size_t(index);
    impulses_[slot].assign(table, table + (table ? length : 0));
    if (!isInitialized || !left_) return;
    buildTable(slot);
    reset();
}

void ConvolutionDSP::setPartitionLength(std::int32_t length) {
    partitionLength_ = length;
    reset();
}

void ConvolutionDSP::buildTable(std::size_t slot) {
    if (tables_[slot]) sp_ftbl_destroy(&tables_[slot]);
    const std::vector<float>& impulse = impulses_[slot];
    if (impulse.empty() || sp_ftbl_create(sp, &tables_[slot], impulse.size()) != 1) return;
    std::copy(impulse.begin(), impulse.end(), tables_[slot]->table);
}

void ConvolutionDSP::init(int channelCount, double sampleRate) {
    SigproDSPBase::init(channelCount, sampleRate);
    destroyModules();
    buildTable(0);
    buildTable(1);
    sp_conv_create(&left_);
    sp_conv_create(&right_);
    setUpConvolutions();
}

void ConvolutionDSP::reset() {
    if (isInitialized && left_) setUpConvolutions();
}

void ConvolutionDSP::setUpConvolutions() {
    setUp(left_, tables_[0]);
    setUp(right_, tables_[1] ? tables_[1] : tables_[0]);
}

void ConvolutionDSP::setUp(sp_conv*& convolution, sp_ftbl* table) {
    if (table) {
        sp_conv_init(sp, convolution, table, float(partitionLength_));
        return;
    }
    // Without an impulse a fresh record computes silence; one set up before is made afresh.
    if (convolution->ready) {
        sp_conv_destroy(&convolution);
        sp_conv_create(&convolution);
    }
}

void ConvolutionDSP::deinit() {
    SigproDSPBase::deinit();
    destroyModules();
}

void ConvolutionDSP::destroyModules() {
    if (left_) sp_conv_destroy(&left_);
    if (right_) sp_conv_destroy(&right_);
    for (sp_ftbl*& table : tables_)
        if (table) sp_ftbl_destroy(&table);
}

void ConvolutionDSP::process(FrameRange range) {
    if (range.count == 0 || !left_) return;
    const rozezeru::AudioBufferList* input = inputBufferLists[0];
    rozezeru::AudioBufferList& output = *outputBufferList;
    const float* inLeft = input && input->numberBuffers > 0 ? input->floatData(0) : nullptr;
    const float* inRight = input && input->numberBuffers > 1 ? input->floatData(1) : nullptr;
    float* outLeft = output.numberBuffers > 0 ? output.floatData(0) : nullptr;
    float* outRight = output.numberBuffers > 1 ? output.floatData(1) : nullptr;
    constexpr double outputScale = 0.05;

    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        float left = inLeft ? inLeft[frame] : 0.0f;
        float right = inRight ? inRight[frame] : 0.0f;
        float wet = 0.0f;
        if (outLeft) {
            sp_conv_compute(sp, left_, &left, &wet);
            outLeft[frame] = float(double(wet) * outputScale);
        }
        if (outRight) {
            sp_conv_compute(sp, right_, &right, &wet);
            outRight[frame] = float(double(wet) * outputScale);
        }
    }
}

} // namespace sigpro
