#include "platform/audio/AudioNode.h"

namespace platform {

AudioNode::AudioNode(std::uint32_t inputs, std::uint32_t outputs)
    : inputFormats_(inputs), outputFormats_(outputs) {}

AudioNode::~AudioNode() = default;

AudioFormat AudioNode::inputFormat(std::uint32_t bus) const {
    return bus < inputFormats_.size() ? inputFormats_[bus] : AudioFormat();
}

AudioFormat AudioNode::outputFormat(std::uint32_t bus) const {
    return bus < outputFormats_.size() ? outputFormats_[bus] : AudioFormat();
}

void AudioNode::setDefaultInputFormat(std::uint32_t bus, const AudioFormat& format) {
    if (bus < inputFormats_.size()) inputFormats_[bus] = format;
}

void AudioNode::setDefaultOutputFormat(std::uint32_t bus, const AudioFormat& format) {
    if (bus < outputFormats_.size()) outputFormats_[bus] = format;
}

void AudioNode::setNumberOfInputs(std::uint32_t count) {
    if (graph_)
        for (std::uint32_t bus = count; bus < numberOfInputs(); ++bus)
            graph_->disconnectNodeInput(*this, bus);
    inputFormats_.resize(count);
}

void AudioNode::setNumberOfOutputs(std::uint32_t count) {
    if (graph_)
        for (std::uint32_t bus = count; bus < numberOfOutputs(); ++bus)
            graph_->disconnectNodeOutput(*this, bus);
    outputFormats_.resize(count);
}

std::shared_ptr<NodeRenderState> AudioNode::makeRenderState(std::uint32_t,
                                                            const std::shared_ptr<NodeRenderState>&) {
    return nullptr;
}

std::uint32_t AudioNode::maximumFramesToPull(std::uint32_t, std::uint32_t outputFrames) const {
    return outputFrames;
}

void AudioNode::recordRenderTime(const AudioTime& when, std::uint64_t generation) {
    // Sequence lock: odd while the fields change, so a reader never pairs halves of two cycles. The
    // release stores of the fields publish the odd count to any reader that sees one of them.
    const std::uint32_t sequence = timeSequence_.load(std::memory_order_relaxed);
    timeSequence_.store(sequence + 1, std::memory_order_relaxed);
    renderSampleTime_.store(when.sampleTime(), std::memory_order_release);
    renderHostTime_.store(when.hostTime(), std::memory_order_release);
    renderSampleRate_.store(when.sampleRate(), std::memory_order_release);
    renderHostTimeValid_.store(when.isHostTimeValid(), std::memory_order_release);
    renderGeneration_.store(generation, std::memory_order_release);
    timeSequence_.store(sequence + 2, std::memory_order_release);
}

std::optional<AudioTime> AudioNode::lastRenderTime() const {
    if (!graph_) return std::nullopt;
    const std::uint64_t active = graph_->renderGeneration();
    if (active == 0) return std::nullopt;
    for (;;) {
        const std::uint32_t before = timeSequence_.load(std::memory_order_acquire);
        if (before & 1) continue;
        const std::int64_t sample = renderSampleTime_.load(std::memory_order_acquire);
        const std::uint64_t host = renderHostTime_.load(std::memory_order_acquire);
        const double rate = renderSampleRate_.load(std::memory_order_acquire);
        const bool hostValid = renderHostTimeValid_.load(std::memory_order_acquire);
        const std::uint64_t generation = renderGeneration_.load(std::memory_order_acquire);
        if (timeSequence_.load(std::memory_order_relaxed) != before) continue;
        if (generation != active) return std::nullopt;
        return hostValid ? AudioTime::withBoth(host, sample, rate) : AudioTime::withSampleTime(sample, rate);
    }
}

} // namespace platform
