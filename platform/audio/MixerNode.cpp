#include "platform/audio/MixerNode.h"

#include "platform/audio/InputConverter.h"
#include "platform/audio/RenderContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace platform {

namespace {

struct MixerInputSlot {
    std::uint32_t bus = 0;
    const AudioNode* source = nullptr;
    std::uint32_t sourceBus = 0;
    std::shared_ptr<InputConverter> converter;
};

struct MixerRenderState final : NodeRenderState {
    std::vector<MixerInputSlot> slots;
};

float mixerVolume(float volume) {
    return std::isnan(volume) || volume <= 0.0f ? 0.0f : volume;
}
float mixerPan(float pan) {
    return std::isnan(pan) ? 0.0f : std::clamp(pan, -1.0f, 1.0f);
}

} // namespace

StereoGains balanceGains(float pan) {
    pan = mixerPan(pan);
    return StereoGains{pan > 0.0f ? 1.0f - pan : 1.0f, pan < 0.0f ? 1.0f + pan : 1.0f};
}

MixerNode::MixerNode()
    : AudioNode(1, 1), inputVolumes_(new std::atomic<float>[maximumInputBusses]),
      inputPans_(new std::atomic<float>[maximumInputBusses]) {
    for (std::uint32_t i = 0; i < maximumInputBusses; ++i) {
        inputVolumes_[i].store(1.0f);
        inputPans_[i].store(0.0f);
    }
    setDefaultOutputFormat(0, *AudioFormat::standard(44100.0, 2));
}

std::uint32_t MixerNode::nextAvailableInputBus() const {
    std::uint32_t bus = 0;
    if (graph())
        while (bus < numberOfInputs() && graph()->inputConnectionPoint(*this, bus))
            ++bus;
    return bus;
}

void MixerNode::setOutputVolume(float volume) {
    volume_.store(mixerVolume(volume), std::memory_order_relaxed);
}
void MixerNode::setPan(float pan) {
    pan_.store(mixerPan(pan), std::memory_order_relaxed);
}

void MixerNode::setInputVolume(std::uint32_t bus, float volume) {
    if (bus < maximumInputBusses) inputVolumes_[bus].store(mixerVolume(volume), std::memory_order_relaxed);
}

float MixerNode::inputVolume(std::uint32_t bus) const {
    return bus < maximumInputBusses ? inputVolumes_[bus].load(std::memory_order_relaxed) : 1.0f;
}

void MixerNode::setInputPan(std::uint32_t bus, float pan) {
    if (bus < maximumInputBusses) inputPans_[bus].store(mixerPan(pan), std::memory_order_relaxed);
}

float MixerNode::inputPan(std::uint32_t bus) const {
    return bus < maximumInputBusses ? inputPans_[bus].load(std::memory_order_relaxed) : 0.0f;
}

std::uint32_t MixerNode::maximumFramesToPull(std::uint32_t bus, std::uint32_t outputFrames) const {
    return InputConverter::maximumInputFrames(inputFormat(bus), outputFormat(0), outputFrames);
}

std::shared_ptr<NodeRenderState>
MixerNode::makeRenderState(std::uint32_t maximumFrames, const std::shared_ptr<NodeRenderState>& previous) {
    auto state = std::make_shared<MixerRenderState>();
    const auto* old = dynamic_cast<const MixerRenderState*>(previous.get());
    const AudioFormat out = outputFormat(0);
    for (std::uint32_t bus = 0; bus < numberOfInputs() && graph(); ++bus) {
        const auto point = graph()->inputConnectionPoint(*this, bus);
        if (!point) continue;
        MixerInputSlot slot{bus, point->node, point->bus, nullptr};
        const AudioFormat from = inputFormat(bus);
        // The same input in the same formats keeps its converter, and with it the resampler's history.
        if (old)
            for (const auto& candidate : old->slots)
                if (candidate.bus == bus && candidate.source == slot.source &&
                    candidate.sourceBus == slot.sourceBus && candidate.converter->from() == from &&
                    candidate.converter->to() == out &&
                    candidate.converter->maximumOutputFrames() >= maximumFrames)
                    slot.converter = candidate.converter;
        if (!slot.converter) slot.converter = InputConverter::make(from, out, maximumFrames);
        if (slot.converter) state->slots.push_back(std::move(slot));
    }
    return state;
}

RenderStatus MixerNode::render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                               const AudioTime&, std::uint32_t) {
    auto* state = static_cast<MixerRenderState*>(context.state());
    if (!state || state->slots.empty()) {
        for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
            std::memset(out.floatData(c), 0, frames * sizeof(float));
        return RenderStatus::success;
    }

    const std::uint32_t channels = out.numberBuffers;
    float outputGains[AudioFormat::maxChannels];
    std::fill(outputGains, outputGains + channels, outputVolume());
    if (channels == 2) {
        const StereoGains pan = balanceGains(this->pan());
        outputGains[0] *= pan.left;
        outputGains[1] *= pan.right;
    }
    auto unity = [channels](const float* gains) {
        return std::all_of(gains, gains + channels, [](float gain) { return gain == 1.0f; });
    };

    float gains[AudioFormat::maxChannels];
    bool first = true;
    for (auto& slot : state->slots) {
        const float volume = inputVolume(slot.bus);
        std::fill(gains, gains + channels, volume);
        if (channels == 2) {
            const StereoGains pan = balanceGains(inputPan(slot.bus));
            gains[0] *= pan.left;
            gains[1] *= pan.right;
        }
        // One input that arrives unchanged is handed on as it is, without clearing or summing.
        if (state->slots.size() == 1 && slot.converter->passesThrough() &&
            frames <= slot.converter->maximumOutputFrames() && unity(gains) && unity(outputGains)) {
            context.forwardInput(slot.bus, frames, out);
            return RenderStatus::success;
        }
        // A failed input counts as silence; the failure is already on the cycle's record. The first input
        // writes the output, so it needs no clearing first.
        if (first)
            slot.converter->renderInto(context, slot.bus, frames, out, gains);
        else
            slot.converter->mixInto(context, slot.bus, frames, out, gains);
        first = false;
    }

    for (std::uint32_t c = 0; c < channels; ++c) {
        if (outputGains[c] == 1.0f) continue;
        float* samples = out.floatData(c);
        for (std::uint32_t i = 0; i < frames; ++i)
            samples[i] *= outputGains[c];
    }
    return RenderStatus::success;
}

} // namespace platform
