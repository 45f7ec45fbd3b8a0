#include "Sigpro/kernels/BalancerDSP.h"

#include <algorithm>

namespace sigpro {

// Two busses cannot lie in one output buffer: the inputs come in buffers of their own.
BalancerDSP::BalancerDSP() : SigproDSPBase(2, false) {}

BalancerDSP::~BalancerDSP() {
    destroyBalancer();
}

void BalancerDSP::init(int channelCount, double sampleRate) {
    SigproDSPBase::init(channelCount, sampleRate);
    destroyBalancer();
    sp_bal_create(&balancer_);
    sp_bal_init(sp, balancer_);
}

void BalancerDSP::deinit() {
    SigproDSPBase::deinit();
    destroyBalancer();
}

void BalancerDSP::reset() {
    if (isInitialized && balancer_) sp_bal_init(sp, balancer_);
}

void BalancerDSP::destroyBalancer() {
    if (balancer_) sp_bal_destroy(&balancer_);
}

void BalancerDSP::process(FrameRange range) {
    if (range.count == 0 || !balancer_) return;
    const rozezeru::AudioBufferList* signal = inputBufferLists[0];
    const rozezeru::AudioBufferList* comparator = inputBufferLists[1];
    rozezeru::AudioBufferList& output = *outputBufferList;
    const std::uint32_t channels = std::min(std::uint32_t(std::max(channelCount, 0)), output.numberBuffers);
    auto sample = [](const rozezeru::AudioBufferList* list, std::uint32_t channel, std::uint32_t frame) {
        return list && channel < list->numberBuffers ? list->floatData(channel)[frame] : 0.0f;
    };
    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        for (std::uint32_t channel = 0; channel < channels; ++channel) {
            float in = sample(signal, channel, frame);
            float reference = sample(comparator, channel, frame);
            sp_bal_compute(sp, balancer_, &in, &reference, output.floatData(channel) + frame);
        }
    }
}

} // namespace sigpro
