#include "RozezEruEX/DryWetMixerDSP.h"

#include <algorithm>
#include <utility>

namespace rozezeru {

namespace {

// Out[c] = dry[c] × weights.first + wet[c] × weights.second for every channel the kernel has, with the
// weights stepped once per frame (also with no channel). A bus or channel without buffers is silence.
template <class Weights>
void mixDryWet(const AudioBufferList* dry, const AudioBufferList* wet, AudioBufferList& output,
               int channelCount, FrameRange range, Weights nextWeights) {
    const std::uint32_t channels = std::min(std::uint32_t(std::max(channelCount, 0)), output.numberBuffers);
    auto sample = [](const AudioBufferList* list, std::uint32_t channel, std::uint32_t frame) {
        return list && channel < list->numberBuffers ? list->floatData(channel)[frame] : 0.0f;
    };
    const std::uint32_t end = range.start + range.count;
    for (std::uint32_t frame = range.start; frame < end; ++frame) {
        const auto [dryWeight, wetWeight] = nextWeights();
        for (std::uint32_t channel = 0; channel < channels; ++channel)
            output.floatData(channel)[frame] =
                sample(dry, channel, frame) * dryWeight + sample(wet, channel, frame) * wetWeight;
    }
}

} // namespace

DryWetMixerDSP::DryWetMixerDSP() : DSPBase(1, false) {
    inputBufferLists.resize(2, nullptr);
    parameters[balanceAddress] = &balance_;
}

void DryWetMixerDSP::process(FrameRange range) {
    mixDryWet(inputBufferLists[0], inputBufferLists[1], *outputBufferList, channelCount, range, [this] {
        const float balance = balance_.nextValue();
        return std::pair(1.0f - balance, balance);
    });
}

DryWetDualMixerDSP::DryWetDualMixerDSP() : DSPBase(1, false) {
    inputBufferLists.resize(2, nullptr);
    parameters[dryAddress] = &dry_;
    parameters[wetAddress] = &wet_;
}

void DryWetDualMixerDSP::process(FrameRange range) {
    mixDryWet(inputBufferLists[0], inputBufferLists[1], *outputBufferList, channelCount, range, [this] {
        const float dry = dry_.nextValue();
        return std::pair(dry, wet_.nextValue());
    });
}

} // namespace rozezeru
